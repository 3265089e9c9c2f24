// SPDX-License-Identifier: MIT
#include "HttpMessage.h"

#include "HttpCaching.h"
#include "platform/common/WallClock.h"

#include <ctime>

namespace {

// A handler may put client text into a header: a line break there would start a header
// (or a body) of the client's choosing.
std::string HeaderValue(std::string_view value) {
    std::string safe(value);
    for (char& ch : safe) {
        if (ch == '\r' || ch == '\n' || ch == '\0') {
            ch = ' ';
        }
    }
    return safe;
}

} // namespace

std::string_view HttpRequest::Header(std::string_view lowerName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerName) {
            return value;
        }
    }
    return {};
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

bool IsBodiless(int status) {
    return status == 204 || status == 304;
}

std::string ResponseBytes(const HttpResponse& response, bool keepAlive, bool headOnly) {
    const bool bodiless = IsBodiless(response.status);
    std::string bytes = "HTTP/1.1 " + std::to_string(response.status) + " " +
                        ReasonPhrase(response.status) + "\r\n";
    bytes += "Date: " + HttpDate(static_cast<std::time_t>(WallClock::NowSeconds())) + "\r\n";
    if (!bodiless) {
        bytes += "Content-Type: " + HeaderValue(response.contentType) + "\r\n";
        const std::size_t length = response.pieces ? response.streamLength : response.body.size();
        bytes += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    if (!keepAlive) {
        bytes += "Connection: close\r\n";
    }
    for (const auto& [name, value] : response.headers) {
        bytes += HeaderValue(name) + ": " + HeaderValue(value) + "\r\n";
    }
    bytes += "\r\n";
    if (!bodiless && !headOnly && !response.pieces) {
        bytes += response.body;
    }
    return bytes;
}
