// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <sys/types.h>

class QSocketNotifier;

// Looks a host name up in a helper process (orvantis-resolve), so that ending a lookup
// is killing a process: a lookup waiting for a silent name server ends at once and leaves
// no thread behind, and a stop or the program's exit never waits for a name server.
// (getaddrinfo cannot be cancelled, and Qt's own lookups cannot be abandoned: the
// application waits for them when it ends, 30 s with a silent name server.)
class CHostLookup final : public QObject {
    Q_OBJECT
public:
    explicit CHostLookup(QObject* parent = nullptr);
    ~CHostLookup() override; // ends a lookup still running
    Q_DISABLE_COPY(CHostLookup)

    // Looks host up; Found or Failed follows, from the event loop also for an address.
    void Start(const QString& host);

signals:
    void Found(const QList<QHostAddress>& addresses);
    void Failed(const QString& why);

private:
    void OnOutput();
    int Reap(bool kill);

    QString m_host;
    pid_t m_child = -1;
    int m_output = -1; // the helper's standard output and error
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_answer;
};

// The helper beside the program (a build tree) or in ../libexec/orvantis (installed).
QString HostLookupProgram();
