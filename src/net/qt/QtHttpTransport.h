// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"

// The desktop program's transport: Qt's sockets, driven by an event loop of the calling
// thread for the length of one exchange. TLS is loaded only when an https server is used.
class CQtHttpTransport final : public IHttpTransport {
public:
    HttpResult Perform(const HttpClientRequest& request, IHttpReceiver& receiver) override;
};
