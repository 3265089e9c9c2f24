// SPDX-License-Identifier: MIT
#include "gui/desktop/CHyperLink.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

bool CHyperLink::CallBack::OnHyperLinkClicked(int /*controlId*/) {
    return false;
}

CHyperLink::CHyperLink(int controlId, const QString& text, QWidget* parent)
    : QLabel(text, parent), m_nID(controlId),
      m_clrHover(QGuiApplication::palette().color(QPalette::Highlight)) {
    // A plain left-aligned static text, like the controls the links take over.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    UpdateColor();
}

void CHyperLink::PreSubclassWindow() {
    if (m_strUrl.isEmpty()) {
        m_strUrl = text();
    }
    if (text().isEmpty()) {
        setText(m_strUrl);
    }
    QFont linkFont = font();
    linkFont.setUnderline(m_bUnderline);
    setFont(linkFont);
    m_bSubclassed = true;
    FitToText();
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_strUrl);
}

void CHyperLink::SetLinkUrl(const QString& url) {
    m_strUrl = url;
    if (m_bSubclassed) {
        FitToText();
        setToolTip(m_strUrl);
    }
}

void CHyperLink::FitToText() {
    if (!m_bSubclassed || !m_bAutoSize) {
        return;
    }
    QRect rect = geometry();
    const QFontMetrics metrics(font());
    const int cx = metrics.horizontalAdvance(text());
    const int cy = metrics.height();
    const Qt::Alignment align = alignment();
    // The halves truncate toward zero, as the control's own rule does.
    if (align & Qt::AlignVCenter) {
        const int shrink = (rect.height() - cy) / 2;
        rect.adjust(0, shrink, 0, -shrink);
    } else {
        rect.setHeight(cy);
    }
    if (align & Qt::AlignHCenter) {
        const int shrink = (rect.width() - cx) / 2;
        rect.adjust(shrink, 0, -shrink, 0);
    } else if (align & Qt::AlignRight) {
        rect.setLeft(rect.left() + rect.width() - cx);
    } else {
        rect.setWidth(cx);
    }
    setGeometry(rect);
}

void CHyperLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    SetOver(true);
}

void CHyperLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    SetOver(false);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    // A static text reports its click when the button goes down.
    if (event->button() == Qt::LeftButton) {
        OnClicked();
    }
}

void CHyperLink::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt reports the second press of a double click as a double click, and would pass it on
    // as a press: the link then opened twice. A double click opens it once.
    event->accept();
}

void CHyperLink::OnClicked() {
    if (auto* handler = dynamic_cast<CallBack*>(parentWidget());
        handler != nullptr && handler->OnHyperLinkClicked(m_nID)) {
        return;
    }
    // Hands the target to the desktop's handler (xdg-open) without waiting for it; a
    // target that nothing opens is not reported.
    QDesktopServices::openUrl(QUrl(m_strUrl));
    m_bVisited = true;
    UpdateColor();
}

void CHyperLink::SetOver(bool over) {
    if (m_bOver != over) {
        m_bOver = over;
        UpdateColor();
    }
}

void CHyperLink::UpdateColor() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, m_bOver      ? m_clrHover
                                       : m_bVisited ? m_clrVisited
                                                    : m_clrLink);
    setPalette(pal);
    repaint();
}
