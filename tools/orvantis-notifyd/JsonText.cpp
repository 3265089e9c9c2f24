// SPDX-License-Identifier: MIT
#include "JsonText.h"

#include <cstdio>

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            json += '\\';
            json += ch;
        } else if (ch == '\n') {
            json += "\\n";
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += byte < 0x80 ? ch : '?';
        }
    }
    return json + "\"";
}
