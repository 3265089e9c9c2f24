// SPDX-License-Identifier: MIT
#include "net/qt/HttpExchange.h"

#include "net/qt/HostLookup.h"
#include "net/qt/HttpRequestBytes.h"

#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <cstdlib>

namespace {

// The system's authorities, and those SSL_CERT_FILE and SSL_CERT_DIR name (as OpenSSL
// reads them for the command-line tools).
void TrustCertificates(QSslSocket& socket) {
    QSslConfiguration configuration = socket.sslConfiguration();
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr) {
        configuration.addCaCertificates(QString::fromLocal8Bit(file));
    }
    if (const char* folder = std::getenv("SSL_CERT_DIR"); folder != nullptr) {
        configuration.addCaCertificates(QString::fromLocal8Bit(folder) + QStringLiteral("/*"),
                                        QSsl::Pem, QSslCertificate::PatternSyntax::Wildcard);
    }
    socket.setSslConfiguration(configuration);
}

} // namespace

CHttpExchange::CHttpExchange(const HttpClientRequest& request, IHttpReceiver& receiver)
    : m_request(request), m_receiver(receiver), m_url(QString::fromStdString(request.url)) {
    connect(&m_tick, &QTimer::timeout, this, &CHttpExchange::OnTick);
}

// The sockets and a lookup still running go with their parent; the lookup's helper is
// killed then.
CHttpExchange::~CHttpExchange() = default;

void CHttpExchange::Start() {
    m_sinceStart.start();
    m_sinceMove.start();
    m_tick.start(TICK_MS);
    OnTick(); // a stop raised already
    if (!m_finished) {
        StartHop();
    }
}

void CHttpExchange::StartHop() {
    const QString scheme = m_url.scheme();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        m_url.host().isEmpty()) {
        Finish(HttpFailure::Other, QStringLiteral("not an http or https address: ") +
                                       m_url.toString(QUrl::RemoveUserInfo));
        return;
    }
    m_proxy.reset();
    const std::string proxy = ProxyFor(scheme.toStdString(), m_url.host().toStdString());
    if (!proxy.empty()) {
        m_proxy = ParseProxy(proxy);
        if (!m_proxy || (m_proxy->scheme != "http" && !m_proxy->scheme.starts_with("socks5"))) {
            Finish(HttpFailure::Other,
                   QStringLiteral("the proxy %1 is not one this program can use")
                       .arg(QString::fromStdString(proxy)));
            return;
        }
    }
    // A redirect's connection may send more or close; the next hop reads only its own.
    DropSocket();
    m_phase = Phase::Resolving;
    m_reader = CHttpResponseReader();
    m_tunnelReader = CHttpResponseReader();
    m_addresses.clear();
    m_nextAddress = 0;
    m_connectError.clear();
    m_sinceHop.start();
    delete m_lookup;
    m_lookup = new CHostLookup(this);
    connect(m_lookup, &CHostLookup::Found, this, [this](const QList<QHostAddress>& addresses) {
        m_addresses = addresses;
        m_phase = Phase::Connecting;
        ConnectNext();
    });
    connect(m_lookup, &CHostLookup::Failed, this,
            [this](const QString& why) { Finish(HttpFailure::Unreachable, why); });
    m_lookup->Start(m_proxy ? QString::fromStdString(m_proxy->host) : m_url.host());
}

void CHttpExchange::DropSocket() {
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void CHttpExchange::ConnectNext() {
    DropSocket();
    if (m_nextAddress >= m_addresses.size()) {
        Finish(HttpFailure::Unreachable, m_connectError);
        return;
    }
    const QHostAddress address = m_addresses.at(m_nextAddress++);
    const bool https = IsHttps(m_url);
    const bool socks = m_proxy && m_proxy->scheme != "http";
    QSslSocket* ssl = https ? new QSslSocket(this) : nullptr;
    m_socket = ssl != nullptr ? ssl : new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &CHttpExchange::OnConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &CHttpExchange::OnReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { m_sinceMove.restart(); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, &CHttpExchange::OnSocketError);
    // Through SOCKS the proxy looks the name up; otherwise the socket gets an address, so
    // that Qt never starts a lookup of its own.
    m_socket->setProxy(socks ? QNetworkProxy(QNetworkProxy::Socks5Proxy, address.toString(),
                                             static_cast<quint16>(m_proxy->port),
                                             QString::fromStdString(m_proxy->user),
                                             QString::fromStdString(m_proxy->password))
                             : QNetworkProxy(QNetworkProxy::NoProxy));
    const QString target = socks ? m_url.host() : address.toString();
    const auto port = static_cast<quint16>(m_proxy && !socks ? m_proxy->port : PortOf(m_url));
    if (ssl != nullptr) {
        TrustCertificates(*ssl);
        connect(ssl, &QSslSocket::encrypted, this, &CHttpExchange::SendRequest);
    }
    if (ssl != nullptr && !(m_proxy && !socks)) {
        ssl->connectToHostEncrypted(target, port, m_url.host());
    } else {
        m_socket->connectToHost(target, port);
    }
}

void CHttpExchange::OnConnected() {
    m_sinceMove.restart();
    const bool relay = m_proxy && m_proxy->scheme == "http";
    if (IsHttps(m_url)) {
        m_phase = relay ? Phase::Tunnelling : Phase::Handshaking;
        if (relay) {
            m_socket->write(ConnectBytes(m_request, m_url, *m_proxy));
        }
        return; // the request goes out once the connection is encrypted
    }
    SendRequest();
}

void CHttpExchange::SendRequest() {
    m_phase = Phase::Receiving;
    const bool relay = m_proxy && m_proxy->scheme == "http" && !IsHttps(m_url);
    m_socket->write(RequestBytes(m_request, m_url, relay ? &*m_proxy : nullptr));
}

void CHttpExchange::OnTunnelAnswer(const QByteArray& bytes) {
    std::string ignored;
    if (!m_tunnelReader.Feed(std::string_view(bytes.constData(), bytes.size()), ignored)) {
        Finish(HttpFailure::Other, QString::fromStdString(m_tunnelReader.Error()));
    } else if (m_tunnelReader.HeadDone() && m_tunnelReader.Status() / 100 != 2) {
        Finish(
            HttpFailure::Unreachable,
            QStringLiteral("the proxy refused the tunnel (HTTP %1)").arg(m_tunnelReader.Status()));
    } else if (m_tunnelReader.HeadDone()) {
        auto* ssl = static_cast<QSslSocket*>(m_socket);
        m_phase = Phase::Handshaking;
        ssl->setPeerVerifyName(m_url.host());
        ssl->startClientEncryption();
    }
}

void CHttpExchange::OnReadyRead() {
    if (m_finished) {
        return;
    }
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty()) {
        return;
    }
    m_sinceMove.restart();
    // A server that never stops sending still meets the total time-out and the stop.
    if (OnTick()) {
        return;
    }
    if (m_phase == Phase::Tunnelling) {
        OnTunnelAnswer(bytes);
        return;
    }
    std::string body;
    if (!m_reader.Feed(std::string_view(bytes.constData(), bytes.size()), body)) {
        Finish(HttpFailure::Other, QString::fromStdString(m_reader.Error()));
        return;
    }
    OnAnswer(body);
}

void CHttpExchange::OnAnswer(std::string& body) {
    if (!m_reader.HeadDone()) {
        return;
    }
    if (!m_headTold) {
        if (FollowRedirect()) {
            return;
        }
        // Like the answer's status, its announced size comes before its body.
        if (m_request.maxBody >= 0 && m_reader.ContentLength() > m_request.maxBody) {
            Finish(
                HttpFailure::TooLarge,
                QStringLiteral("the answer announces more than %1 bytes").arg(m_request.maxBody));
            return;
        }
        m_headTold = true;
        if (!m_receiver.OnHead(m_reader.Status())) {
            Finish(HttpFailure::Refused);
            return;
        }
    }
    if (!body.empty() && !m_receiver.OnBody(body)) {
        Finish(HttpFailure::Refused);
    } else if (m_reader.Done()) {
        Finish(HttpFailure::None);
    }
}

bool CHttpExchange::FollowRedirect() {
    const long status = m_reader.Status();
    const auto location = m_reader.Header("Location");
    const bool redirect =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (m_request.maxRedirects <= 0 || !redirect || !location) {
        return false;
    }
    const QUrl next = m_url.resolved(QUrl(QString::fromStdString(*location)));
    const bool downgrade = m_request.redirectsKeepTls && IsHttps(m_url) && !IsHttps(next);
    if (m_redirects >= m_request.maxRedirects) {
        Finish(HttpFailure::Redirect,
               QStringLiteral("more than %1 redirects").arg(m_request.maxRedirects));
    } else if ((next.scheme() != QLatin1String("http") && !IsHttps(next)) || downgrade) {
        Finish(HttpFailure::Redirect,
               QStringLiteral("a redirect to ") + next.scheme() + QStringLiteral(": is refused"));
    } else {
        ++m_redirects;
        m_url = next;
        StartHop();
    }
    return true;
}

void CHttpExchange::OnSocketError() {
    if (m_finished) {
        return;
    }
    if (m_phase == Phase::Connecting) {
        m_connectError = m_socket->errorString();
        ConnectNext();
        return;
    }
    if (m_socket->error() != QAbstractSocket::RemoteHostClosedError ||
        m_phase != Phase::Receiving) {
        Finish(HttpFailure::Other, m_socket->errorString());
        return;
    }
    const QTcpSocket* closed = m_socket;
    OnReadyRead(); // what came with the close
    if (m_finished || m_socket != closed) {
        return; // ended, or a redirect moved on to the next hop
    }
    if (!m_reader.Closed()) {
        Finish(HttpFailure::Other, QString::fromStdString(m_reader.Error()));
        return;
    }
    std::string none;
    OnAnswer(none);
}

bool CHttpExchange::OnTick() {
    const HttpOptions& limits = m_request.limits;
    if (limits.tick) {
        limits.tick();
    }
    if (limits.stop != nullptr && limits.stop->load()) {
        Finish(HttpFailure::Stopped, QStringLiteral("stopped"));
    } else if (m_sinceStart.elapsed() >= limits.totalTimeoutMs) {
        Finish(HttpFailure::TimedOut,
               QStringLiteral("no answer within %1 ms").arg(limits.totalTimeoutMs));
    } else if (m_phase != Phase::Receiving && m_sinceHop.isValid() &&
               m_sinceHop.elapsed() >= limits.connectTimeoutMs) {
        Finish(HttpFailure::TimedOut,
               QStringLiteral("no connection within %1 ms").arg(limits.connectTimeoutMs));
    } else if (m_sinceMove.elapsed() >= limits.stallTimeoutMs) {
        Finish(HttpFailure::TimedOut,
               QStringLiteral("no data moved for %1 ms").arg(limits.stallTimeoutMs));
    }
    return m_finished;
}

void CHttpExchange::Finish(HttpFailure failure, const QString& error) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_tick.stop();
    m_result = {failure, m_reader.Status(), error.toStdString()};
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    emit Finished();
}
