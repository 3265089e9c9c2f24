// SPDX-License-Identifier: MIT
#include "RequestReader.h"

#include "TextRules.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t MAX_CHUNK_LINE = 1024;
constexpr std::size_t MAX_TRAILERS = 16;

// The characters of a header name or a method (a "token"): no blank, no separator.
bool IsToken(std::string_view text) {
    constexpr std::string_view SYMBOLS = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               SYMBOLS.find(ch) != std::string_view::npos;
    });
}

// A NUL, or a CR that does not end a line: front ends disagree on what these mean, so a
// request that holds one could be read as two by one of them and as one by us.
bool HasAmbiguousBytes(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool bareCr = text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n');
        if (text[at] == '\0' || bareCr) {
            return true;
        }
    }
    return false;
}

std::string_view CutLine(std::string_view text, std::size_t& pos) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

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
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            return HttpRefusal::MalformedHead;
        }
        std::string name = LowerAscii(line.substr(0, colon));
        std::string value(TrimBlanks(line.substr(colon + 1)));
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

// Digits only, in the given base, that fit.
bool ParseSize(std::string_view digits, std::size_t& size, int base) {
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), size, base);
    return !digits.empty() && parsed.ec == std::errc() &&
           parsed.ptr == digits.data() + digits.size();
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
        std::size_t size = 0;
        if (!ParseSize(TrimBlanks(std::string_view(*sizeLine).substr(0, sizeLine->find(';'))), size,
                       16)) {
            return HttpRefusal::BadChunk;
        }
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
    if (framing.contentLength && !ParseSize(*framing.contentLength, plan.length, 10)) {
        return HttpRefusal::BadLength;
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
