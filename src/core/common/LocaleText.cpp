// SPDX-License-Identifier: MIT
#include "core/common/LocaleText.h"

#include "platform/common/Utf8.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <langinfo.h>

namespace {

constexpr std::string_view REPLACEMENT_UTF8 = "\xEF\xBF\xBD"; // U+FFFD

std::string NormalCharsetName(const std::string& charset) {
    std::string name;
    for (const char c : charset) {
        if (c != '-' && c != '_') {
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    return name;
}

bool IsUtf8Charset(const std::string& charset) {
    return NormalCharsetName(charset) == "UTF8";
}

bool IsAsciiCharset(const std::string& charset) {
    const std::string name = NormalCharsetName(charset);
    return name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII" || name == "646";
}

iconv_t OpenIconv(const std::string& to, const std::string& from) {
    return iconv_open(to.c_str(), from.c_str());
}

bool IsOpen(iconv_t cd) {
    return cd != reinterpret_cast<iconv_t>(-1);
}

// Each character of utf8 that passes the filter is kept, every other one becomes '?'.
template <typename Encode> std::string EncodeEachCharacter(std::string_view utf8, Encode encode) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Utf8Step step = DecodeUtf8At(utf8, pos);
        if (step.status == Utf8Status::Ok) {
            encode(utf8.substr(pos, step.length), step.codePoint, out);
        } else if (step.status == Utf8Status::Invalid) {
            out.append(step.length, '?'); // one for each byte
        } else {
            out += '?';
        }
        pos += step.length;
    }
    return out;
}

} // namespace

std::string LocaleCharset() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

std::string Utf8ToCharset(std::string_view utf8, const std::string& charset) {
    if (IsUtf8Charset(charset)) {
        return EncodeEachCharacter(
            utf8, [](std::string_view bytes, char32_t, std::string& out) { out += bytes; });
    }
    iconv_t cd =
        IsAsciiCharset(charset) ? reinterpret_cast<iconv_t>(-1) : OpenIconv(charset, "UTF-8");
    std::string out = EncodeEachCharacter(
        utf8, [cd](std::string_view bytes, char32_t codePoint, std::string& text) {
            if (!IsOpen(cd)) {
                text += codePoint < 0x80 ? static_cast<char>(codePoint) : '?';
                return;
            }
            char input[4];
            bytes.copy(input, bytes.size());
            char output[32];
            char* in = input;
            std::size_t inLeft = bytes.size();
            char* outPtr = output;
            std::size_t outLeft = sizeof(output);
            if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
                text += '?';
            } else {
                text.append(output, static_cast<std::size_t>(outPtr - output));
            }
        });
    if (IsOpen(cd)) {
        // A stateful charset returns to its initial shift state at the end.
        char output[32];
        char* outPtr = output;
        std::size_t outLeft = sizeof(output);
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
            out.append(output, static_cast<std::size_t>(outPtr - output));
        }
        iconv_close(cd);
    }
    return out;
}

std::string Utf8ToLocale(std::string_view utf8) {
    return Utf8ToCharset(utf8, LocaleCharset());
}

CCharsetDecoder::CCharsetDecoder(const std::string& charset) {
    if (IsUtf8Charset(charset)) {
        m_kind = Kind::Utf8;
    } else if (IsAsciiCharset(charset)) {
        m_kind = Kind::Ascii;
    } else {
        m_kind = Kind::Iconv;
        iconv_t cd = OpenIconv("UTF-8", charset);
        if (IsOpen(cd)) {
            m_iconv = cd;
        } else {
            m_kind = Kind::Ascii;
        }
    }
}

CCharsetDecoder::~CCharsetDecoder() {
    if (m_iconv != nullptr) {
        iconv_close(static_cast<iconv_t>(m_iconv));
    }
}

void CCharsetDecoder::Feed(std::string_view bytes, std::string& out) {
    m_pending += bytes;
    Convert(out, false);
}

void CCharsetDecoder::Finish(std::string& out) {
    Convert(out, true);
    m_pending.clear();
}

void CCharsetDecoder::Convert(std::string& out, bool final) {
    std::size_t pos = 0;
    if (m_kind == Kind::Ascii) {
        for (const char c : m_pending) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += REPLACEMENT_UTF8;
            }
        }
        pos = m_pending.size();
    } else if (m_kind == Kind::Utf8) {
        while (pos < m_pending.size()) {
            const Utf8Step step = DecodeUtf8At(m_pending, pos);
            if (step.status == Utf8Status::Incomplete && !final) {
                break;
            }
            if (step.status == Utf8Status::Ok) {
                out.append(m_pending, pos, step.length);
            } else if (step.status == Utf8Status::Invalid) {
                for (std::size_t i = 0; i < step.length; ++i) {
                    out += REPLACEMENT_UTF8; // one for each byte
                }
            } else {
                out += REPLACEMENT_UTF8;
            }
            pos += step.length;
        }
    } else {
        auto cd = static_cast<iconv_t>(m_iconv);
        while (pos < m_pending.size()) {
            char* in = m_pending.data() + pos;
            std::size_t inLeft = m_pending.size() - pos;
            char output[256];
            char* outPtr = output;
            std::size_t outLeft = sizeof(output);
            const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            out.append(output, static_cast<std::size_t>(outPtr - output));
            pos = m_pending.size() - inLeft;
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
                continue;
            }
            if (error == EINVAL && !final) {
                break; // a character cut at the end: wait for the rest
            }
            out += REPLACEMENT_UTF8;
            pos += error == EINVAL ? inLeft : 1;
        }
    }
    m_pending.erase(0, pos);
}
