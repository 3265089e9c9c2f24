// SPDX-License-Identifier: MIT
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

// Takes every web address the program hands to the desktop while it lives: no browser.
class CUrlRecorder final : public QObject {
    Q_OBJECT
public:
    CUrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open"); }
    ~CUrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }
    Q_DISABLE_COPY(CUrlRecorder)

    QStringList m_opened;

public slots:
    void Open(const QUrl& url) { m_opened << url.toString(); }
};
