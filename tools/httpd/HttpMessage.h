// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
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

// The pieces of a body too large to hold at once: the piece that starts at the offset, to
// stay valid until the next call. An empty piece before the announced length cuts the
// answer short, and the connection is closed.
using HttpBodyPieces = std::function<std::string_view(std::size_t offset)>;

struct HttpResponse {
    int status = 200;
    std::string body{};
    HttpHeaders headers{}; // beside Date, Content-Type, Content-Length and Connection
    std::string contentType = "text/plain; charset=utf-8";
    // When set, the body is not `body` but streamLength bytes from pieces.
    HttpBodyPieces pieces{};
    std::size_t streamLength = 0;
    // No answer at all: the connection is held, and what the client sends dropped, until
    // the client hangs up or the server stops.
    bool hold = false;
};

const char* ReasonPhrase(int status);
// A 204 or 304: an answer without a body, whatever the handler gave it.
bool IsBodiless(int status);

// The bytes of an answer. An answer to HEAD carries the headers of the full answer but
// not its body; a 204 or 304 has neither a body nor its length; a streamed answer's body
// follows its head separately.
std::string ResponseBytes(const HttpResponse& response, bool keepAlive, bool headOnly);
