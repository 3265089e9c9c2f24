// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"

// The desktop program's transport: Qt's sockets, driven by an event loop of the calling
// thread for the length of one exchange. TLS is loaded only when an https server is used.
//
// Why a client of our own: with libcurl the desktop program mapped libcurl and its TLS
// library even for an http server, some 8 MB of its memory; on Qt's sockets it maps
// neither (libcurl stays with the command-line tools). Qt's own HTTP stack is not used
// because it adds Accept-Encoding and Accept-Language headers that cannot be removed,
// and the requests go out byte for byte as before.
class CQtHttpTransport final : public IHttpTransport {
public:
    HttpResult Perform(const HttpClientRequest& request, IHttpReceiver& receiver) override;
};
