// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"
#include "core/common/ProxyRule.h"

#include <QByteArray>
#include <QUrl>

bool IsHttps(const QUrl& url);
// The URL's port, or its scheme's own.
int PortOf(const QUrl& url);

// A request as it goes out, byte for byte as libcurl sends it: the request line, Host
// (with the port only when it is not the scheme's own), the lines for a proxy that relays
// it (relay, when one does), the core's headers in their order, Content-Length for a
// body, an empty line and the body.
QByteArray RequestBytes(const HttpClientRequest& request, const QUrl& url,
                        const ProxyServer* relay);
// The request that asks an HTTP proxy for a tunnel to an https server.
QByteArray ConnectBytes(const HttpClientRequest& request, const QUrl& url,
                        const ProxyServer& proxy);
