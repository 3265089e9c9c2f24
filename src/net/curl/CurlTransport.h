// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"

// The command-line tools' transport: one libcurl easy handle a request, the environment's
// proxies, no signals, the time-outs of the request's limits, and a progress check that
// ends the transfer when its stop is raised.
class CCurlTransport final : public IHttpTransport {
public:
    HttpResult Perform(const HttpClientRequest& request, IHttpReceiver& receiver) override;
};
