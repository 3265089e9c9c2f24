// SPDX-License-Identifier: MIT
#include "core/common/HttpTransport.h"

#include "BuildConfig.h"

namespace {

class CNoTransport final : public IHttpTransport {
public:
    HttpResult Perform(const HttpClientRequest&, IHttpReceiver&) override {
        return {HttpFailure::Other, 0, "no HTTP transport is set up"};
    }
};

CNoTransport s_noTransport;
std::atomic<IHttpTransport*> s_transport{&s_noTransport};

} // namespace

void SetHttpTransport(IHttpTransport& transport) {
    s_transport.store(&transport);
}

IHttpTransport& HttpTransport() {
    return *s_transport.load();
}

const char* HttpUserAgent() {
    return "Orvantis/" ORVANTIS_VERSION_TEXT;
}
