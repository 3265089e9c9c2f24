// SPDX-License-Identifier: MIT
#include "net/qt/HostLookup.h"

#include "core/common/Globals.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace {
// The helper prints a few addresses; anything beyond this is not an answer.
constexpr qint64 ANSWER_MAX = 64 * 1024;
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
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void CHostLookup::Start(const QString& host) {
    m_host = host;
    if (const QHostAddress address(host); !address.isNull()) {
        QTimer::singleShot(0, this, [this, address] { emit Found({address}); });
        return;
    }
    m_process = new QProcess(this);
    m_process->setProgram(HostLookupProgram());
    m_process->setArguments({host});
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, &CHostLookup::OnFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            emit Failed(QStringLiteral("the name lookup helper %1 cannot be run")
                            .arg(m_process->program()));
        }
    });
    m_process->start();
}

void CHostLookup::OnFinished() {
    const QByteArray answer = m_process->readAllStandardOutput().left(ANSWER_MAX);
    QList<QHostAddress> addresses;
    for (const QByteArray& line : answer.split('\n')) {
        if (const QHostAddress address(QString::fromLatin1(line.trimmed())); !address.isNull()) {
            addresses.append(address);
        }
    }
    if (m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0 &&
        !addresses.isEmpty()) {
        emit Found(addresses);
        return;
    }
    const QString why = QString::fromLocal8Bit(m_process->readAllStandardError().left(256));
    emit Failed(QStringLiteral("could not resolve host %1%2")
                    .arg(m_host, why.trimmed().isEmpty() ? QString() : ": " + why.trimmed()));
}
