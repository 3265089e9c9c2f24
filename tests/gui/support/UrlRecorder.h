// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Takes every URL the program hands to the desktop while it lives, so no browser starts.
class CUrlRecorder final : public QObject {
    Q_OBJECT
public:
    CUrlRecorder();
    ~CUrlRecorder() override;
    Q_DISABLE_COPY(CUrlRecorder)

    QStringList m_opened;

public slots:
    void Open(const QUrl& url);
};
