// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"
#include "core/common/HttpTransport.h"

#include <string>
#include <string_view>

// The fixed boundary of every form: 27 hyphens and 7da138124d076e.
inline constexpr std::string_view FORM_BOUNDARY = "---------------------------7da138124d076e";
// The line that ends a form, CR LF included (47 bytes).
inline constexpr std::string_view FORM_CLOSING_LINE =
    "-----------------------------7da138124d076e--\r\n";
// Answer bytes beyond this are not received.
inline constexpr int FORM_ANSWER_MAX = 1024 * 1024;

// Appends one part (delimiter line, Content-Disposition line with the name, an empty line,
// the value; each ended by CR LF). Names and values go in byte for byte, unchecked, already
// in the charset they are sent in. False when the body could not grow.
bool AddFormPart(CByteBuffer& body, std::string_view name, std::string_view value);

// Appends the closing line to body and posts it as multipart/form-data to path on the
// notification server (NotifyServer()). response receives the answer, whatever its status,
// converted from the locale's charset to UTF-8: each 1024-byte piece up to its first zero
// byte, at most FORM_ANSWER_MAX bytes of it. 1 when the request was sent and the answer
// read, 0 on a network error (response then keeps what had arrived).
int PostForm(CByteBuffer& body, const std::string& path, std::string& response);
int PostForm(CByteBuffer& body, const std::string& path, std::string& response,
             const HttpOptions& options);
