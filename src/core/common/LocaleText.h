// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Conversions between the program's UTF-8 texts and the character set of the locale
// (nl_langinfo(CODESET) after the program's setlocale; "ANSI_X3.4-1968" in the "C" locale).
// Form values go out in the locale's character set and answers come back in it.

// The locale's character set name.
std::string LocaleCharset();

// UTF-8 to charset. A character that the charset cannot hold becomes '?', and so does
// each byte of an invalid UTF-8 sequence.
std::string Utf8ToCharset(std::string_view utf8, const std::string& charset);
std::string Utf8ToLocale(std::string_view utf8);

// charset to UTF-8, for text that arrives in pieces. Feed() converts what is complete and
// keeps a character cut at the end of a piece for the next one; Finish() ends the text.
// A byte that does not belong to a valid character becomes U+FFFD.
class CCharsetDecoder final {
public:
    explicit CCharsetDecoder(const std::string& charset);
    ~CCharsetDecoder();
    CCharsetDecoder(const CCharsetDecoder&) = delete;
    CCharsetDecoder& operator=(const CCharsetDecoder&) = delete;

    void Feed(std::string_view bytes, std::string& out);
    void Finish(std::string& out);

private:
    void Convert(std::string& out, bool final);

    enum class Kind { Utf8, Ascii, Iconv } m_kind;
    void* m_iconv = nullptr; // the iconv_t of Kind::Iconv (a charset iconv refuses reads as ASCII)
    std::string m_pending;
};
