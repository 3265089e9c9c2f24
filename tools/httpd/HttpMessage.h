// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// One request as a handler gets it: header names in lower case, values without their
// surrounding blanks, the body whole and de-chunked.
struct HttpRequest {
    std::string method;
    std::string target; // as the client sent it, query included
    std::string path;   // the target up to its '?'
    HttpHeaders headers;
    std::string body;
    std::string remoteAddress; // the peer
    std::string clientAddress; // the peer, or the client a trusted proxy names

    // The value of the first header of that name (given in lower case); empty when none.
    std::string_view Header(std::string_view lowerName) const;
};

struct HttpResponse {
    int status = 200;
    std::string body{};
    HttpHeaders headers{}; // beside Date, Content-Type, Content-Length and Connection
    std::string contentType = "text/plain; charset=utf-8";
};

const char* ReasonPhrase(int status);

// The bytes of an answer. An answer to HEAD carries the headers of the full answer but
// not its body; a 204 or 304 has neither a body nor its length.
std::string ResponseBytes(const HttpResponse& response, bool keepAlive, bool headOnly);
