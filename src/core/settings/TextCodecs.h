// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The text encodings of an ini file. A file is decoded to UTF-16 code units losslessly, so
// that encoding the edited text again gives back every byte that was not edited.

enum class IniCodec { Utf8, Windows1252, Utf16Le };

struct IniText {
    std::string mark; // the byte-order mark kept in front of the text
    IniCodec codec = IniCodec::Utf8;
    std::u16string text;
};

// A file that starts with FF FE is UTF-16LE; one that starts with EF BB BF is UTF-8; any
// other is UTF-8 when it is valid UTF-8, else Windows-1252. `truncated`: the bytes are only
// the first part of a file, cut anywhere; only its whole lines are kept.
IniText DecodeIniText(std::string_view bytes, bool truncated);
// Back to bytes in the file's own encoding, behind its own mark.
std::string EncodeIniText(const IniText& file);

// UTF-8 to UTF-16; each ill-formed sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);

inline bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
