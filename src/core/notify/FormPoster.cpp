// SPDX-License-Identifier: MIT
#include "core/notify/FormPoster.h"

#include "core/common/LocaleText.h"
#include "core/common/ServerConfig.h"

#include <algorithm>

namespace {

constexpr std::size_t ANSWER_CHUNK = 1024;
constexpr std::size_t FORM_ANSWER_MAX_BYTES = FORM_ANSWER_MAX;

// Cuts the answer into consecutive 1024-byte pieces, takes each up to its first zero
// byte and decodes it; stops taking bytes at FORM_ANSWER_MAX.
class CAnswerSink final : public IHttpReceiver {
public:
    explicit CAnswerSink(std::string& text) : m_out(text), m_decoder(LocaleCharset()) {}

    bool OnHead(long /*status*/) override { return true; } // any answer counts as sent
    bool OnBody(std::string_view piece) override {
        const std::size_t take = std::min(piece.size(), FORM_ANSWER_MAX_BYTES - m_received);
        for (std::size_t pos = 0; pos < take;) {
            const std::size_t part = std::min(take - pos, ANSWER_CHUNK - m_chunk.size());
            m_chunk.append(piece.substr(pos, part));
            pos += part;
            if (m_chunk.size() == ANSWER_CHUNK) {
                TakeChunk();
            }
        }
        m_received += take;
        capped = take < piece.size();
        return !capped; // the rest is not received
    }
    void Finish() {
        if (!m_chunk.empty()) {
            TakeChunk();
        }
        m_decoder.Finish(m_out);
    }

    bool capped = false;

private:
    void TakeChunk() {
        const std::size_t end = std::min(m_chunk.find('\0'), m_chunk.size());
        m_decoder.Feed(std::string_view(m_chunk).substr(0, end), m_out);
        m_chunk.clear();
    }

    std::string& m_out;
    CCharsetDecoder m_decoder;
    std::string m_chunk;
    std::size_t m_received = 0;
};

} // namespace

bool AddFormPart(CByteBuffer& body, std::string_view name, std::string_view value) {
    std::string part;
    part.reserve(FORM_BOUNDARY.size() + name.size() + value.size() + 64);
    part += "--";
    part += FORM_BOUNDARY;
    part += "\r\nContent-Disposition: form-data; name=\"";
    part += name;
    part += "\"\r\n\r\n";
    part += value;
    part += "\r\n";
    return body.Append(part);
}

int PostForm(CByteBuffer& body, const std::string& path, std::string& response) {
    return PostForm(body, path, response, HttpOptions{});
}

int PostForm(CByteBuffer& body, const std::string& path, std::string& response,
             const HttpOptions& options) {
    response.clear();
    if (!body.Append(FORM_CLOSING_LINE)) {
        return 0;
    }
    // A path without its leading '/' would run into the host name.
    HttpClientRequest request;
    request.method = "POST";
    request.url = NotifyServer() + (path.starts_with('/') ? "" : "/") + path;
    request.headers = {std::string("User-Agent: ") + HttpUserAgent(), "Accept: */*",
                       "Content-Type: multipart/form-data; boundary=" + std::string(FORM_BOUNDARY),
                       "Connection: Keep-Alive", "Cache-Control: no-cache"};
    request.body = body.View();
    request.limits = options;
    CAnswerSink sink(response);
    const HttpResult result = HttpTransport().Perform(request, sink);
    sink.Finish();
    return result.failure == HttpFailure::None ||
                   (result.failure == HttpFailure::Refused && sink.capped)
               ? 1
               : 0;
}
