// SPDX-License-Identifier: MIT
#include "core/settings/ProfileFile.h"

#include "core/settings/IniGrammar.h"
#include "core/settings/TextCodecs.h"
#include "platform/AtomicFile.h"
#include "platform/common/ErrnoText.h"

#include <cerrno>
#include <mutex>

namespace {

// A write whose file was changed by someone else before it could replace it starts over
// from the new content; after this many attempts it gives up and the other change stays.
constexpr int WRITE_ATTEMPTS_MAX = 20;

// Writes of this process are one at a time: two threads writing different keys each start
// from the file as the other left it. Reads need no turn, since a file is only ever
// replaced whole.
std::mutex s_writeLock;

using platform::FileSnapshot;

bool IsReadable(const FileSnapshot& file) {
    return file.state == FileSnapshot::State::Complete ||
           file.state == FileSnapshot::State::Truncated;
}

IniText Decode(const FileSnapshot& file) {
    return DecodeIniText(file.bytes, file.state == FileSnapshot::State::Truncated);
}

// What a reader gets: the text up to a NUL, at most PROFILE_VALUE_MAX code units, never
// half a surrogate pair.
std::string ForReader(std::u16string_view text) {
    text = text.substr(0, text.find(u'\0'));
    if (text.size() > PROFILE_VALUE_MAX) {
        std::size_t length = PROFILE_VALUE_MAX;
        if (IsHighSurrogate(text[length - 1]) && IsLowSurrogate(text[length])) {
            --length;
        }
        text = text.substr(0, length);
    }
    return Utf16ToUtf8(text);
}

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

enum class Attempt { Written, Unchanged, Changed, Failed };

// One read, edit and replacement of the file; Changed when someone else changed it
// meanwhile, so that the edit must be made again on their change.
Attempt WriteOnce(const std::string& target, std::u16string_view section, std::u16string_view key,
                  std::u16string_view value, std::string& failure) {
    // Held from before it is read until it is replaced: a save in place meanwhile is seen.
    const FileSnapshot read = platform::HoldEditedFile(target, PROFILE_FILE_MAX);
    if (read.state == FileSnapshot::State::Failed) {
        failure = read.failure;
        return Attempt::Failed;
    }
    if (read.state == FileSnapshot::State::Truncated) {
        failure = "the file is larger than 1 MiB";
        return Attempt::Failed;
    }
    const bool exists = read.state == FileSnapshot::State::Complete;
    IniText file = Decode(read);
    if (!SetIniValue(file, section, key, value)) {
        return Attempt::Unchanged;
    }
    if (exists && platform::IsReadOnly(target, read)) {
        failure = "the file is read-only";
        return Attempt::Failed;
    }
    const std::string bytes = EncodeIniText(file);
    if (bytes.size() > PROFILE_FILE_MAX) {
        failure = "the file would grow larger than 1 MiB";
        return Attempt::Failed;
    }
    if (exists && bytes == read.bytes) {
        return Attempt::Unchanged;
    }
    switch (platform::ReplaceIfUnchanged(target, bytes, read, &failure)) {
    case platform::ReplaceResult::Replaced:
        return Attempt::Written;
    case platform::ReplaceResult::Changed:
        return Attempt::Changed;
    case platform::ReplaceResult::Failed:
        break;
    }
    return Attempt::Failed;
}

} // namespace

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultText) {
    if (!path.empty()) {
        const FileSnapshot read = platform::ReadEditedFile(path, PROFILE_FILE_MAX);
        if (IsReadable(read)) {
            const IniText file = Decode(read);
            if (const auto value = FindIniValue(file.text, IniName(section), IniName(key))) {
                return ForReader(*value);
            }
        }
    }
    // The default loses trailing spaces only.
    std::u16string fallback = Utf8ToUtf16(defaultText);
    fallback.erase(fallback.find_last_not_of(u' ') + 1);
    return ForReader(fallback);
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, ProfileWriteReport* report) {
    ProfileWriteReport ignored;
    ProfileWriteReport& out = report != nullptr ? *report : ignored;
    out = ProfileWriteReport{};
    // Written verbatim, a line break would start a new line (a header or another key) and
    // a NUL would cut what follows; either would corrupt other keys.
    if (path.empty() || HoldsLineBreakOrNul(section) || HoldsLineBreakOrNul(key) ||
        HoldsLineBreakOrNul(value)) {
        return false;
    }
    const std::u16string sectionName = IniName(section);
    const std::u16string keyName = IniName(key);
    const std::u16string valueText = Utf8ToUtf16(value);

    const std::lock_guard lock(s_writeLock);
    // A link is kept: the write replaces the file it leads to.
    std::string target;
    if (!platform::ResolveLinks(path, target)) {
        out.failure = ErrnoText(errno);
        return false;
    }
    for (int attempt = 0; attempt < WRITE_ATTEMPTS_MAX; ++attempt) {
        switch (WriteOnce(target, sectionName, keyName, valueText, out.failure)) {
        case Attempt::Written:
            return true;
        case Attempt::Unchanged:
            out.unchanged = true;
            return true;
        case Attempt::Failed:
            return false;
        case Attempt::Changed:
            break;
        }
    }
    out.failure = "the file kept changing while it was being saved";
    return false;
}

int RemoveProfileLeftovers(const std::string& path) {
    const std::lock_guard lock(s_writeLock);
    std::string target;
    return platform::ResolveLinks(path, target) ? platform::RemoveLeftoverTemporaries(target) : 0;
}
