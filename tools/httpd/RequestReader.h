// SPDX-License-Identifier: MIT
#pragma once

#include "HttpConnection.h"
#include "HttpLimits.h"
#include "HttpMessage.h"

#include <optional>
#include <string>

// Why a request is not handed to a handler. Lost: the client went away or the server is
// stopping, and nobody hears an answer.
enum class HttpRefusal {
    None,
    Lost,
    TimedOut,
    HeadTooLarge,
    TooManyHeaderLines,
    MalformedHead,
    UnknownVersion,
    NoSuchPath,
    WrongMethod,
    BadFraming,
    BadLength,
    BodyTooLarge,
    BadChunk,
};

// What the head of a request says about its body and its connection.
struct BodyFraming {
    std::string version;
    std::optional<std::string> contentLength;
    std::optional<std::string> transferEncoding;
    std::string connection;
    bool expectContinue = false;

    bool KeepAlive() const;
};

// How the body will be read, once CheckBody() found the framing usable.
struct BodyPlan {
    bool chunked = false;
    std::size_t length = 0;
    bool expectContinue = false;
};

// Reads the head up to its empty line within its size and line limits, into request
// (method, target, path, headers) and framing.
HttpRefusal ReadHead(HttpConnection& connection, const HttpLimits& limits,
                     HttpClock::time_point deadline, HttpRequest& request, BodyFraming& framing);
// Checks the framing and the announced length against maxBody before any of it is read.
HttpRefusal CheckBody(const BodyFraming& framing, std::size_t maxBody, BodyPlan& plan);
// Reads the body as planned (saying "100 Continue" first if asked), never past maxBody.
HttpRefusal ReadBody(HttpConnection& connection, const BodyPlan& plan, std::size_t maxBody,
                     HttpClock::time_point deadline, std::string& body);
