// SPDX-License-Identifier: MIT
#include "net/qt/HttpRequestBytes.h"

bool IsHttps(const QUrl& url) {
    return url.scheme() == QLatin1String("https");
}

int PortOf(const QUrl& url) {
    return url.port(IsHttps(url) ? 443 : 80);
}

namespace {

QByteArray HostOf(const QUrl& url) {
    const QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    return host.contains(':') ? '[' + host + ']' : host;
}

// The Host line's value: the port only when it is not the scheme's own.
QByteArray HostField(const QUrl& url) {
    const bool ownPort = PortOf(url) == (IsHttps(url) ? 443 : 80);
    return ownPort ? HostOf(url) : HostOf(url) + ':' + QByteArray::number(PortOf(url));
}

QByteArray ProxyLines(const ProxyServer& proxy) {
    QByteArray lines;
    if (!proxy.user.empty()) {
        lines = "Proxy-Authorization: Basic " +
                QByteArray::fromStdString(proxy.user + ":" + proxy.password).toBase64() + "\r\n";
    }
    return lines;
}

} // namespace

QByteArray RequestBytes(const HttpClientRequest& request, const QUrl& url,
                        const ProxyServer* relay) {
    QByteArray target =
        relay != nullptr
            ? url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment)
            : url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty()) {
        target = "/";
    }
    QByteArray bytes = QByteArray::fromStdString(request.method) + ' ' + target +
                       " HTTP/1.1\r\nHost: " + HostField(url) + "\r\n";
    if (relay != nullptr) {
        bytes += ProxyLines(*relay) + "Proxy-Connection: Keep-Alive\r\n";
    }
    for (const std::string& header : request.headers) {
        bytes += QByteArray::fromStdString(header) + "\r\n";
    }
    if (request.method == "POST") {
        bytes += "Content-Length: " + QByteArray::number(request.body.size()) + "\r\n";
    }
    bytes += "\r\n";
    bytes.append(request.body.data(), static_cast<qsizetype>(request.body.size()));
    return bytes;
}

QByteArray ConnectBytes(const HttpClientRequest& request, const QUrl& url,
                        const ProxyServer& proxy) {
    const QByteArray authority = HostOf(url) + ':' + QByteArray::number(PortOf(url));
    QByteArray bytes =
        "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + ProxyLines(proxy);
    for (const std::string& header : request.headers) {
        if (header.starts_with("User-Agent:")) {
            bytes += QByteArray::fromStdString(header) + "\r\n";
        }
    }
    return bytes + "Proxy-Connection: Keep-Alive\r\n\r\n";
}
