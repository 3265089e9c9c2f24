// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

// A static text turned into a web-style link: underlined, in the link colour, the hover
// colour while the pointer is over it, a pointing hand and a tooltip with its target.
// A click is offered to the parent first when the parent is a CHyperLink::CallBack;
// otherwise the target opens with the desktop's default handler and the link turns
// visited.
class CHyperLink final : public QLabel {
    Q_OBJECT
public:
    // What a window implements to handle the clicks on its links itself.
    class CallBack {
    public:
        virtual ~CallBack() = default;
        // True when the click is handled and the link must do nothing more.
        virtual bool OnHyperLinkClicked(int controlId);
    };

    CHyperLink(int controlId, const QString& text, QWidget* parent);
    Q_DISABLE_COPY(CHyperLink)

    static constexpr QRgb LINK_COLOR = 0xFF0000EE;    // RGB(0,0,238)
    static constexpr QRgb VISITED_COLOR = 0xFF551A8B; // RGB(85,26,139)

    // Takes over the placed control, as binding it to its dialog does: the target defaults
    // to the text and the text to the target, then the underlined font, the size of the
    // text and the tooltip.
    void PreSubclassWindow();
    // A new target; once the control is taken over it is refitted and the tooltip follows.
    void SetLinkUrl(const QString& url);
    // Moves and sizes the control to its text; the alignment decides which edges stay.
    void FitToText();

    int ControlId() const { return m_nID; }
    const QString& LinkUrl() const { return m_strUrl; }
    bool IsOver() const { return m_bOver; }
    bool IsVisited() const { return m_bVisited; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnClicked();
    void SetOver(bool over);
    void UpdateColor();

    int m_nID;
    QColor m_clrLink{LINK_COLOR};
    QColor m_clrVisited{VISITED_COLOR};
    QColor m_clrHover;
    bool m_bOver = false;
    bool m_bVisited = false;
    bool m_bUnderline = true;
    bool m_bAutoSize = true;
    bool m_bSubclassed = false;
    QString m_strUrl;
};
