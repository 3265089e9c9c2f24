// SPDX-License-Identifier: MIT
#include "core/notify/FormPoster.h"

#include "core/common/LocaleText.h"
#include "core/common/ServerConfig.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t ANSWER_CHUNK = 1024;

// Cuts the answer into consecutive 1024-byte pieces, takes each up to its first zero
// byte and decodes it; stops taking bytes at FORM_ANSWER_MAX.
struct AnswerSink {
    explicit AnswerSink(std::string& text) : out(text), decoder(LocaleCharset()) {}

    void TakeChunk() {
        const std::size_t end = std::min(chunk.find('\0'), chunk.size());
        decoder.Feed(std::string_view(chunk).substr(0, end), out);
        chunk.clear();
    }

    std::string& out;
    CCharsetDecoder decoder;
    std::string chunk;
    std::size_t received = 0;
    bool capped = false;
};

size_t OnAnswer(char* data, size_t size, size_t count, void* context) {
    auto* sink = static_cast<AnswerSink*>(context);
    const size_t n = size * count;
    const size_t room = static_cast<size_t>(FORM_ANSWER_MAX) - sink->received;
    const size_t take = std::min(n, room);
    for (size_t pos = 0; pos < take;) {
        const size_t part = std::min(take - pos, ANSWER_CHUNK - sink->chunk.size());
        sink->chunk.append(data + pos, part);
        pos += part;
        if (sink->chunk.size() == ANSWER_CHUNK) {
            sink->TakeChunk();
        }
    }
    sink->received += take;
    if (take < n) {
        sink->capped = true;
        return 0; // ends the transfer: the rest is not received
    }
    return n;
}

struct HeaderList {
    ~HeaderList() { curl_slist_free_all(list); }
    bool Add(const std::string& header) {
        curl_slist* grown = curl_slist_append(list, header.c_str());
        if (grown == nullptr) {
            return false;
        }
        list = grown;
        return true;
    }
    curl_slist* list = nullptr;
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
    CHttpSession session(options);
    CURL* curl = session.Handle();
    if (curl == nullptr) {
        return 0;
    }
    HeaderList headers;
    // Our own Accept and Content-Type replace libcurl's; an empty Expect keeps it from
    // waiting for "100 Continue" before the body.
    const bool headersMade =
        headers.Add("Accept: */*") &&
        headers.Add("Content-Type: multipart/form-data; boundary=" + std::string(FORM_BOUNDARY)) &&
        headers.Add("Connection: Keep-Alive") && headers.Add("Cache-Control: no-cache") &&
        headers.Add("Expect:");
    if (!headersMade) {
        return 0;
    }
    // A path without its leading '/' would run into the host name.
    const std::string url = NotifyServer() + (path.starts_with('/') ? "" : "/") + path;
    AnswerSink sink(response);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.Data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.Size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = session.Perform();
    if (!sink.chunk.empty()) {
        sink.TakeChunk();
    }
    sink.decoder.Finish(response);
    return code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.capped) ? 1 : 0;
}
