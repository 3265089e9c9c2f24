// SPDX-License-Identifier: MIT
#include "core/settings/IniGrammar.h"

#include "platform/common/Trim.h"

#include <algorithm>
#include <cstddef>

namespace {

// Around names and values in the file; the arguments lose spaces only.
constexpr std::u16string_view FILE_BLANKS = u" \t";
constexpr std::u16string_view ARGUMENT_BLANKS = u" ";

char16_t FoldCase(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Names match without regard to the case of ASCII letters.
bool SameName(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

struct KeyLookup {
    bool sectionFound = false;
    bool keyFound = false;
    // The key's line without its line break, and the spelling of its name in the file.
    std::size_t lineBegin = 0;
    std::size_t lineEnd = 0;
    std::u16string_view fileName;
    std::u16string_view value; // trimmed, quotes still on
    // Where a new key line goes: after the section's last key line, or after its header
    // when it has none (so before trailing comments and blank lines).
    std::size_t insertAt = 0;
    bool insertNeedsBreak = false; // that line is the last of the file and has no break
};

// Finds key in the first section named section. Lines before the first header belong to
// no section; a line starting with ';' is a comment; a header ends at its first ']' (or
// at the line's end); a line splits at its first '='; the first of equal keys wins.
KeyLookup FindKey(std::u16string_view text, std::u16string_view section, std::u16string_view key) {
    KeyLookup found;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t begin = pos;
        std::size_t contentEnd = text.find_first_of(u"\r\n", pos);
        if (contentEnd == std::u16string_view::npos) {
            contentEnd = text.size();
            pos = contentEnd;
        } else {
            pos = contentEnd + 1;
            if (text[contentEnd] == u'\r' && pos < text.size() && text[pos] == u'\n') {
                ++pos;
            }
        }
        const std::u16string_view line = Trim(text.substr(begin, contentEnd - begin), FILE_BLANKS);
        if (line.empty() || line.front() == u';') {
            continue;
        }
        if (line.front() == u'[') {
            if (inSection) {
                break;
            }
            const std::u16string_view header = line.substr(1);
            if (SameName(Trim(header.substr(0, header.find(u']')), FILE_BLANKS), section)) {
                inSection = true;
                found.sectionFound = true;
                found.insertAt = pos;
                found.insertNeedsBreak = pos == contentEnd;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        found.insertAt = pos;
        found.insertNeedsBreak = pos == contentEnd;
        const std::size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos) {
            continue;
        }
        const std::u16string_view name = Trim(line.substr(0, equals), FILE_BLANKS);
        if (SameName(name, key)) {
            found.keyFound = true;
            found.lineBegin = begin;
            found.lineEnd = contentEnd;
            found.fileName = name;
            found.value = Trim(line.substr(equals + 1), FILE_BLANKS);
            break;
        }
    }
    return found;
}

// One outer pair of matching quotes is removed.
std::u16string_view Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool IsLineBreak(char16_t unit) {
    return unit == u'\r' || unit == u'\n';
}

// The file's own line break: the first one in it. A file without one gets LF, except a
// UTF-16 file, which only Windows tools make.
std::u16string_view LineBreakOf(const IniText& file) {
    const std::size_t first = file.text.find_first_of(u"\r\n");
    if (first == std::u16string::npos) {
        return file.codec == IniCodec::Utf16Le ? u"\r\n" : u"\n";
    }
    if (file.text[first] == u'\n') {
        return u"\n";
    }
    return first + 1 < file.text.size() && file.text[first + 1] == u'\n' ? u"\r\n" : u"\r";
}

void EnsureFinalBreak(std::u16string& text, std::u16string_view lineBreak) {
    if (!text.empty() && !IsLineBreak(text.back())) {
        text += lineBreak;
    }
}

} // namespace

bool SetIniValue(IniText& file, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value) {
    const std::u16string_view lineBreak = LineBreakOf(file);
    std::u16string& text = file.text;
    const KeyLookup found = FindKey(text, section, key);
    if (found.keyFound) {
        if (found.value == value) {
            return false;
        }
        // The name keeps the spelling the file gave it.
        std::u16string line(found.fileName);
        line.append(u"=").append(value);
        text.replace(found.lineBegin, found.lineEnd - found.lineBegin, line);
    } else if (found.sectionFound) {
        std::u16string line(found.insertNeedsBreak ? lineBreak : u"");
        line.append(key).append(u"=").append(value).append(lineBreak);
        text.insert(found.insertAt, line);
    } else {
        // A file holding only its byte-order mark gets a line break before the section,
        // as Windows writes it.
        if (text.empty() && !file.mark.empty()) {
            text = lineBreak;
        }
        EnsureFinalBreak(text, lineBreak);
        text.append(u"[").append(section).append(u"]").append(lineBreak);
        text.append(key).append(u"=").append(value).append(lineBreak);
    }
    EnsureFinalBreak(text, lineBreak);
    return true;
}

std::optional<std::u16string_view>
FindIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key) {
    const KeyLookup found = FindKey(text, section, key);
    if (!found.keyFound) {
        return std::nullopt;
    }
    return Unquote(found.value);
}

std::u16string IniName(std::string_view argument) {
    return std::u16string(Trim(Utf8ToUtf16(argument), ARGUMENT_BLANKS));
}
