// SPDX-License-Identifier: MIT
#include "platform/common/JsonString.h"

#include "platform/common/Utf8.h"

#include <cstdio>

namespace {

void AppendEscaped(std::string& out, char32_t c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
    out += escaped;
}

// An ASCII character; DEL escaped or kept as it is.
void AppendAscii(std::string& out, char c, bool escapeDel) {
    if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
    } else if (c == '\n') {
        out += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || (escapeDel && c == 0x7F)) {
        AppendEscaped(out, static_cast<unsigned char>(c));
    } else {
        out += c;
    }
}

} // namespace

void AppendJsonString(std::string& out, std::string_view text, JsonNonAscii nonAscii) {
    const bool utf8 = nonAscii == JsonNonAscii::Utf8;
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            AppendAscii(out, text[pos], utf8);
            ++pos;
            continue;
        }
        if (!utf8) {
            out += '?';
            ++pos;
            continue;
        }
        const Utf8Step step = DecodeUtf8At(text, pos);
        if (step.status != Utf8Status::Ok) {
            out += "\\ufffd";
        } else if (step.codePoint == 0x2028 || step.codePoint == 0x2029) {
            AppendEscaped(out, step.codePoint);
        } else {
            out.append(text.substr(pos, step.length));
        }
        pos += step.length;
    }
    out += '"';
}
