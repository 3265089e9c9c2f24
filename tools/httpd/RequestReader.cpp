// SPDX-License-Identifier: MIT
#include "RequestReader.h"

#include "TextRules.h"
#include "http/HttpGrammar.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

using http::CutLine;
using http::HasAmbiguousBytes;
using http::IsToken;

constexpr std::size_t MAX_CHUNK_LINE = 1024;
constexpr std::size_t MAX_TRAILERS = 16;

HttpRefusal ParseRequestLine(std::string_view line, HttpRequest& request, BodyFraming& framing) {
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace) {
        return HttpRefusal::MalformedHead;
    }
    if (!IsToken(line.substr(0, firstSpace))) {
        return HttpRefusal::MalformedHead;
    }
    request.method = std::string(line.substr(0, firstSpace));
    request.target = std::string(line.substr(firstSpace + 1, lastSpace - firstSpace - 1));
    request.path = request.target.substr(0, request.target.find('?'));
    framing.version = std::string(line.substr(lastSpace + 1));
    if (framing.version != "HTTP/1.1" && framing.version != "HTTP/1.0") {
        return framing.version.starts_with("HTTP/") ? HttpRefusal::UnknownVersion
                                                    : HttpRefusal::MalformedHead;
    }
    return HttpRefusal::None;
}

// Notes what a header says about the body and the connection; false when it contradicts
// an earlier one.
bool NoteFraming(const std::string& name, const std::string& value, BodyFraming& framing) {
    if (name == "content-length" || name == "transfer-encoding") {
        auto& field = name == "content-length" ? framing.contentLength : framing.transferEncoding;
        if (field && *field != value) {
            return false; // two that disagree: no guessing which one a proxy used
        }
        field = value;
    } else if (name == "connection") {
        framing.connection = LowerAscii(value);
    } else if (name == "expect") {
        framing.expectContinue = LowerAscii(value) == "100-continue";
    }
    return true;
}

// The request line and header lines.
HttpRefusal ParseHead(std::string_view text, std::size_t maxHeaderLines, HttpRequest& request,
                      BodyFraming& framing) {
    std::size_t pos = 0;
    const HttpRefusal refusal = ParseRequestLine(CutLine(text, pos), request, framing);
    if (refusal != HttpRefusal::None) {
        return refusal;
    }
    while (pos < text.size()) {
        const std::string_view line = CutLine(text, pos);
        if (line.empty()) {
            break;
        }
        if (request.headers.size() == maxHeaderLines) {
            return HttpRefusal::TooManyHeaderLines;
        }
        // A blank before the colon or at the start of the line (an old-style folded line)
        // makes the name no token.
        const std::optional<http::HeaderLine> header = http::SplitHeaderLine(line);
        if (!header || !IsToken(header->name)) {
            return HttpRefusal::MalformedHead;
        }
        std::string name = LowerAscii(header->name);
        std::string value(header->value);
        if (!NoteFraming(name, value, framing)) {
            return HttpRefusal::MalformedHead;
        }
        request.headers.emplace_back(std::move(name), std::move(value));
    }
    return HttpRefusal::None;
}

// The end of the head (its empty line) in the buffer, and where the body starts.
std::optional<std::pair<std::size_t, std::size_t>> FindHeadEnd(const std::string& buffer) {
    const std::size_t crlf = buffer.find("\r\n\r\n");
    const std::size_t lf = buffer.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) {
        return std::nullopt;
    }
    if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
        return std::make_pair(crlf, crlf + 4);
    }
    return std::make_pair(lf, lf + 2);
}

HttpRefusal Unfinished(const HttpConnection& connection) {
    return connection.TimedOut() ? HttpRefusal::TimedOut : HttpRefusal::Lost;
}

HttpRefusal ReadChunked(HttpConnection& connection, std::size_t maxBody,
                        HttpClock::time_point deadline, std::string& body) {
    while (true) {
        const std::optional<std::string> sizeLine = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!sizeLine) {
            return Unfinished(connection);
        }
        if (HasAmbiguousBytes(*sizeLine)) {
            return HttpRefusal::BadChunk;
        }
        const std::optional<std::size_t> parsed =
            http::ParseNumber<std::size_t>(http::ChunkSizeDigits(*sizeLine), 16);
        if (!parsed) {
            return HttpRefusal::BadChunk;
        }
        const std::size_t size = *parsed;
        if (size == 0) {
            break;
        }
        if (size > maxBody - body.size()) {
            return HttpRefusal::BodyTooLarge;
        }
        if (!connection.FillTo(size, deadline)) {
            return Unfinished(connection);
        }
        body.append(connection.Buffer(), 0, size);
        connection.Buffer().erase(0, size);
        const std::optional<std::string> end = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!end || !end->empty()) {
            return end ? HttpRefusal::BadChunk : Unfinished(connection);
        }
    }
    for (std::size_t trailers = 0;; ++trailers) {
        const std::optional<std::string> line = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!line || trailers > MAX_TRAILERS || HasAmbiguousBytes(*line)) {
            return line ? HttpRefusal::BadChunk : Unfinished(connection);
        }
        if (line->empty()) {
            return HttpRefusal::None;
        }
    }
}

} // namespace

bool BodyFraming::KeepAlive() const {
    return version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
}

HttpRefusal ReadHead(HttpConnection& connection, const HttpLimits& limits,
                     HttpClock::time_point deadline, HttpRequest& request, BodyFraming& framing) {
    std::string& buffer = connection.Buffer();
    std::optional<std::pair<std::size_t, std::size_t>> headEnd;
    while (!(headEnd = FindHeadEnd(buffer)) && buffer.size() <= limits.maxHead &&
           connection.Fill(deadline)) {
    }
    if (!headEnd || headEnd->first > limits.maxHead) {
        if (connection.TimedOut()) {
            return HttpRefusal::TimedOut;
        }
        return buffer.size() > limits.maxHead ? HttpRefusal::HeadTooLarge : HttpRefusal::Lost;
    }
    if (HasAmbiguousBytes(std::string_view(buffer).substr(0, headEnd->second))) {
        return HttpRefusal::MalformedHead;
    }
    const std::string head = buffer.substr(0, headEnd->first);
    buffer.erase(0, headEnd->second);
    return ParseHead(head, limits.maxHeaderLines, request, framing);
}

HttpRefusal CheckBody(const BodyFraming& framing, std::size_t maxBody, BodyPlan& plan) {
    plan.chunked = framing.transferEncoding && LowerAscii(*framing.transferEncoding) == "chunked";
    if ((framing.transferEncoding && !plan.chunked) || (plan.chunked && framing.contentLength)) {
        return HttpRefusal::BadFraming;
    }
    if (framing.contentLength) {
        const std::optional<std::size_t> length =
            http::ParseNumber<std::size_t>(*framing.contentLength, 10);
        if (!length) {
            return HttpRefusal::BadLength;
        }
        plan.length = *length;
    }
    plan.expectContinue = framing.expectContinue;
    return plan.length > maxBody ? HttpRefusal::BodyTooLarge : HttpRefusal::None;
}

HttpRefusal ReadBody(HttpConnection& connection, const BodyPlan& plan, std::size_t maxBody,
                     HttpClock::time_point deadline, std::string& body) {
    if (plan.expectContinue && !connection.Write("HTTP/1.1 100 Continue\r\n\r\n", deadline)) {
        return HttpRefusal::Lost;
    }
    if (plan.chunked) {
        return ReadChunked(connection, maxBody, deadline, body);
    }
    if (!connection.FillTo(plan.length, deadline)) {
        return Unfinished(connection);
    }
    std::string& buffer = connection.Buffer();
    body = buffer.substr(0, plan.length);
    buffer.erase(0, plan.length);
    return HttpRefusal::None;
}
