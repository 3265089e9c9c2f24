// SPDX-License-Identifier: MIT
#include "net/qt/HostLookup.h"

#include "core/common/Globals.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The helper prints a few addresses; anything beyond this is not an answer.
constexpr qsizetype ANSWER_MAX = 64 * 1024;

// Starts program with one argument, its standard output and error on a pipe whose read
// end is returned in output; -1 when it cannot be started. A plain fork and exec: the
// child calls nothing but what is safe between them in a process with threads.
pid_t Spawn(const QByteArray& program, const QByteArray& argument, int& output) {
    int pipeEnds[2];
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing < 0 || pipe2(pipeEnds, O_CLOEXEC) != 0) {
        if (nothing >= 0) {
            close(nothing);
        }
        return -1;
    }
    char* const argv[] = {const_cast<char*>(program.constData()),
                          const_cast<char*>(argument.constData()), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        dup2(nothing, STDIN_FILENO);
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        execv(argv[0], argv);
        _exit(127);
    }
    close(nothing);
    close(pipeEnds[1]);
    if (child < 0) {
        close(pipeEnds[0]);
        return -1;
    }
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    output = pipeEnds[0];
    return child;
}

} // namespace

QString HostLookupProgram() {
    const QString folder = QString::fromStdString(g_szExeDir);
    const QString beside = folder + QStringLiteral("/orvantis-resolve");
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return folder + QStringLiteral("/../libexec/orvantis/orvantis-resolve");
}

CHostLookup::CHostLookup(QObject* parent) : QObject(parent) {}

CHostLookup::~CHostLookup() {
    Reap(true);
}

void CHostLookup::Start(const QString& host) {
    m_host = host;
    if (const QHostAddress address(host); !address.isNull()) {
        QTimer::singleShot(0, this, [this, address] { emit Found({address}); });
        return;
    }
    m_child = Spawn(QFile::encodeName(HostLookupProgram()), host.toUtf8(), m_output);
    if (m_child < 0) {
        QTimer::singleShot(0, this, [this] {
            emit Failed(
                QStringLiteral("the name lookup helper %1 cannot be run").arg(HostLookupProgram()));
        });
        return;
    }
    m_notifier = new QSocketNotifier(m_output, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CHostLookup::OnOutput);
}

void CHostLookup::OnOutput() {
    char bytes[4096];
    ssize_t got = 0;
    while ((got = read(m_output, bytes, sizeof bytes)) > 0) {
        if (m_answer.size() < ANSWER_MAX) {
            m_answer.append(bytes, got);
        }
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return; // more to come
    }
    // The helper closed its output: it has ended, or is about to.
    const int status = Reap(false);
    QList<QHostAddress> addresses;
    QString why;
    for (const QByteArray& line : m_answer.split('\n')) {
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (const QHostAddress address(text); !address.isNull()) {
            addresses.append(address);
        } else if (!text.isEmpty() && why.isEmpty()) {
            why = text.left(256);
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !addresses.isEmpty()) {
        emit Found(addresses);
        return;
    }
    emit Failed(QStringLiteral("could not resolve host %1%2")
                    .arg(m_host, why.isEmpty() ? QString() : QStringLiteral(": ") + why));
}

// Closes the pipe and waits for the helper, killing it first when told to; its wait status.
int CHostLookup::Reap(bool kill) {
    int status = 0;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_output >= 0) {
        close(m_output);
        m_output = -1;
    }
    if (m_child > 0) {
        if (kill) {
            ::kill(m_child, SIGKILL);
        }
        while (waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
        }
        m_child = -1;
    }
    return status;
}
