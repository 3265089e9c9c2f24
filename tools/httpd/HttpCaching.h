// SPDX-License-Identifier: MIT
#pragma once

#include "HttpMessage.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// A time as HTTP writes it: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(std::time_t time);
// The time of a date written that way; nullopt for anything else. The two obsolete forms
// are not read: a client that sends one gets the whole answer, never a wrong 304.
std::optional<std::time_t> ParseHttpDate(std::string_view text);

// True when a GET or HEAD may be answered 304 because the client holds this version:
// If-None-Match lists etag (weakly compared) or "*"; without If-None-Match, the version
// is no newer than If-Modified-Since (a date in the future is ignored). etag is given
// with its quotes, lastModified as the Last-Modified header says it.
bool NotModified(const HttpRequest& request, std::string_view etag, std::time_t lastModified);
