// SPDX-License-Identifier: MIT
#include "core/settings/TextCodecs.h"

#include "platform/common/Utf8.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

constexpr char16_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr std::string_view UTF8_MARK = "\xEF\xBB\xBF";
constexpr std::string_view UTF16LE_MARK = "\xFF\xFE";

void AppendCodePoint(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

// Each ill-formed sequence becomes one U+FFFD; the result says whether there was none.
bool DecodeUtf8(std::string_view bytes, std::u16string& out) {
    bool wellFormed = true;
    for (std::size_t i = 0; i < bytes.size();) {
        const Utf8Step step = DecodeUtf8At(bytes, i);
        if (step.status == Utf8Status::Ok) {
            AppendCodePoint(out, step.codePoint);
        } else {
            wellFormed = false;
            out.push_back(REPLACEMENT_CHARACTER);
        }
        i += step.length;
    }
    return wellFormed;
}

// Windows-1252 bytes 0x80 to 0x9F. The five bytes the code page leaves undefined map to
// the C1 controls of the same number, so every byte survives a round trip.
constexpr std::array<char16_t, 32> WINDOWS_1252_HIGH = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void DecodeWindows1252(std::string_view bytes, std::u16string& out) {
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out.push_back(value >= 0x80 && value <= 0x9F ? WINDOWS_1252_HIGH[value - 0x80] : value);
    }
}

// A character the code page lacks becomes '?' (one for a whole surrogate pair).
std::string EncodeWindows1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            out.push_back(static_cast<char>(unit));
            continue;
        }
        const auto* found = std::find(WINDOWS_1252_HIGH.begin(), WINDOWS_1252_HIGH.end(), unit);
        if (found != WINDOWS_1252_HIGH.end()) {
            out.push_back(static_cast<char>(0x80 + (found - WINDOWS_1252_HIGH.begin())));
            continue;
        }
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;
        }
        out.push_back('?');
    }
    return out;
}

// An odd last byte is half a code unit and is dropped.
void DecodeUtf16Le(std::string_view bytes, std::u16string& out) {
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
}

std::string EncodeUtf16Le(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

} // namespace

IniText DecodeIniText(std::string_view bytes, bool truncated) {
    IniText file;
    std::string_view body = bytes;
    if (body.starts_with(UTF16LE_MARK)) {
        file.mark = UTF16LE_MARK;
        file.codec = IniCodec::Utf16Le;
        DecodeUtf16Le(body.substr(UTF16LE_MARK.size()), file.text);
    } else {
        if (body.starts_with(UTF8_MARK)) {
            file.mark = UTF8_MARK;
            body.remove_prefix(UTF8_MARK.size());
        }
        if (truncated) {
            // The cut may split a character; keep whole lines only.
            const std::size_t lastBreak = body.find_last_of("\r\n");
            body = body.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
        }
        file.codec = IniCodec::Utf8;
        if (!DecodeUtf8(body, file.text)) {
            file.codec = IniCodec::Windows1252;
            file.text.clear();
            DecodeWindows1252(body, file.text);
        }
    }
    if (truncated) {
        const std::size_t lastBreak = file.text.find_last_of(u"\r\n");
        file.text.resize(lastBreak == std::u16string::npos ? 0 : lastBreak + 1);
    }
    return file;
}

std::string EncodeIniText(const IniText& file) {
    switch (file.codec) {
    case IniCodec::Utf16Le:
        return file.mark + EncodeUtf16Le(file.text);
    case IniCodec::Windows1252:
        return file.mark + EncodeWindows1252(file.text);
    case IniCodec::Utf8:
        break;
    }
    return file.mark + Utf16ToUtf8(file.text);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    DecodeUtf8(text, out);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t codePoint = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            codePoint = REPLACEMENT_CHARACTER;
        }
        if (codePoint < 0x80) {
            out.push_back(static_cast<char>(codePoint));
        } else if (codePoint < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        }
    }
    return out;
}
