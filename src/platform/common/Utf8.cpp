// SPDX-License-Identifier: MIT
#include "platform/common/Utf8.h"

Utf8Step DecodeUtf8At(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return {Utf8Status::Ok, 1, lead};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    // The second byte's range rules out overlong forms, surrogates and values past
    // U+10FFFF; every later byte is a plain continuation byte.
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        secondMin = lead == 0xE0 ? 0xA0 : 0x80;
        secondMax = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        secondMin = lead == 0xF0 ? 0x90 : 0x80;
        secondMax = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {Utf8Status::Invalid, 1, 0};
    }
    std::size_t taken = 1;
    for (; taken < length; ++taken) {
        if (pos + taken >= text.size()) {
            return {Utf8Status::Incomplete, taken, 0};
        }
        const auto next = static_cast<unsigned char>(text[pos + taken]);
        const unsigned char low = taken == 1 ? secondMin : 0x80;
        const unsigned char high = taken == 1 ? secondMax : 0xBF;
        if (next < low || next > high) {
            return {Utf8Status::Invalid, taken, 0};
        }
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    return {Utf8Status::Ok, length, codePoint};
}
