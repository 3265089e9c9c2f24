// SPDX-License-Identifier: MIT
#include "core/app/ProfileFile.h"

#include "platform/common/Utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

namespace {

// How many symbolic links a write follows to reach the real file.
constexpr int SYMLINK_HOPS_MAX = 40;

// An editor that saves in place truncates the file and then writes it. A file found empty
// that was changed this recently is taken to be in the middle of such a save, and is
// read again until it has content, for at most EMPTY_FILE_WAIT.
constexpr auto EMPTY_FILE_RECENT = std::chrono::seconds(1);
constexpr auto EMPTY_FILE_WAIT = std::chrono::milliseconds(250);
constexpr auto EMPTY_FILE_POLL = std::chrono::milliseconds(2);

// A write whose file was changed by someone else before it could replace it starts over
// from the new content; after this many attempts it gives up and the other change stays.
constexpr int WRITE_ATTEMPTS_MAX = 20;

// How long a write waits after swapping its file in before it checks the file it swapped
// out: longer than an open() takes from finding a file to truncating it, also when the
// machine is busy. Longer while someone else has been writing the file.
constexpr auto SWAP_SETTLE = std::chrono::milliseconds(2);
constexpr auto SWAP_SETTLE_WHILE_EDITED = std::chrono::milliseconds(50);

// The temporary file of a write: "." + the file's name + "." + six characters.
constexpr std::string_view TEMPORARY_SUFFIX = ".XXXXXX";

constexpr char16_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr std::string_view UTF8_MARK = "\xEF\xBB\xBF";
constexpr std::string_view UTF16LE_MARK = "\xFF\xFE";

// Around names and values in the file; the arguments lose spaces only.
constexpr std::u16string_view FILE_BLANKS = u" \t";
constexpr std::u16string_view ARGUMENT_BLANKS = u" ";

// Every read and write of any profile file is one operation under this lock.
std::mutex s_fileLock;

// The file as the last write of this process left it (under s_fileLock): a file that no
// longer looks so has been written by someone else since.
struct stat s_lastWritten {};

// ---------------------------------------------------------------------------------------
// Text codecs. The file is decoded to UTF-16 code units losslessly, so that encoding the
// edited text again gives back every byte that was not edited.

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

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

// A lone surrogate (possible only in a UTF-16 file) becomes U+FFFD, so the result is
// always valid UTF-8.
std::string EncodeUtf8(std::u16string_view text) {
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

// Arguments are UTF-8; ill-formed bytes in them become U+FFFD.
std::u16string FromArgument(std::string_view text) {
    std::u16string out;
    DecodeUtf8(text, out);
    return out;
}

// ---------------------------------------------------------------------------------------
// The file in memory.

enum class Codec { Utf8, Windows1252, Utf16Le };

struct ProfileText {
    std::string bytes; // the file as read
    std::string mark;  // byte-order mark kept in front of the text
    Codec codec = Codec::Utf8;
    std::u16string text;
    struct stat info {};
};

enum class LoadResult {
    Missing,   // no such file: readers take defaults, a write creates it
    Complete,  // the whole file is in memory
    Truncated, // only its first part (whole lines) is: readable, never rewritten
    Failed     // not a regular file, unreadable, or a read error
};

bool IsLineBreak(char16_t unit) {
    return unit == u'\r' || unit == u'\n';
}

void Decode(ProfileText& file, bool truncated) {
    std::string_view body = file.bytes;
    if (body.starts_with(UTF16LE_MARK)) {
        file.mark = UTF16LE_MARK;
        file.codec = Codec::Utf16Le;
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
        file.codec = Codec::Utf8;
        if (!DecodeUtf8(body, file.text)) {
            file.codec = Codec::Windows1252;
            file.text.clear();
            DecodeWindows1252(body, file.text);
        }
    }
    if (truncated) {
        const std::size_t lastBreak = file.text.find_last_of(u"\r\n");
        file.text.resize(lastBreak == std::u16string::npos ? 0 : lastBreak + 1);
    }
}

std::string Encode(const ProfileText& file) {
    switch (file.codec) {
    case Codec::Utf16Le:
        return file.mark + EncodeUtf16Le(file.text);
    case Codec::Windows1252:
        return file.mark + EncodeWindows1252(file.text);
    case Codec::Utf8:
        break;
    }
    return file.mark + EncodeUtf8(file.text);
}

// The file's own line break: the first one in it. A file without one gets LF, except a
// UTF-16 file, which only Windows tools make.
std::u16string_view LineBreakOf(const ProfileText& file) {
    const std::size_t first = file.text.find_first_of(u"\r\n");
    if (first == std::u16string::npos) {
        return file.codec == Codec::Utf16Le ? u"\r\n" : u"\n";
    }
    if (file.text[first] == u'\n') {
        return u"\n";
    }
    return first + 1 < file.text.size() && file.text[first + 1] == u'\n' ? u"\r\n" : u"\r";
}

class FileDescriptor final {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now and says whether the close succeeded (it may report a late write error).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

// True when the file is empty and was changed so recently that an editor may be between
// truncating it and writing it.
bool MayBeBeingSaved(const struct stat& info) {
    if (info.st_size != 0) {
        return false;
    }
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(info.st_mtim.tv_sec) +
            std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
    return std::chrono::system_clock::now() - modified < EMPTY_FILE_RECENT;
}

// Why a load or write failed, for people; errno's text unless there is a plainer word.
void SetFailure(std::string* failure, const std::string& text) {
    if (failure != nullptr && failure->empty()) {
        *failure = text;
    }
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

LoadResult LoadOnce(const std::string& path, ProfileText& file, std::string* failure) {
    // O_NONBLOCK: a FIFO named like the file must not block the open.
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return LoadResult::Missing;
        }
        SetFailure(failure, ErrnoText(errno));
        return LoadResult::Failed;
    }
    if (fstat(fd.Get(), &file.info) != 0) {
        SetFailure(failure, ErrnoText(errno));
        return LoadResult::Failed;
    }
    if (S_ISDIR(file.info.st_mode)) {
        SetFailure(failure, "the file is a folder");
        return LoadResult::Failed;
    }
    if (!S_ISREG(file.info.st_mode)) {
        SetFailure(failure, "the file is not a regular file");
        return LoadResult::Failed;
    }
    // One byte more than the cap tells a file at the cap from a larger one.
    const auto expected = static_cast<std::size_t>(std::max<off_t>(file.info.st_size, 0));
    file.bytes.resize(std::min(expected, PROFILE_FILE_MAX) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == file.bytes.size()) {
            if (got > PROFILE_FILE_MAX) {
                break;
            }
            // The file grew since fstat.
            file.bytes.resize(std::min(got * 2, PROFILE_FILE_MAX + 1));
        }
        const ssize_t n = read(fd.Get(), file.bytes.data() + got, file.bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetFailure(failure, ErrnoText(errno));
            return LoadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const bool truncated = got > PROFILE_FILE_MAX;
    file.bytes.resize(std::min(got, PROFILE_FILE_MAX));
    return truncated ? LoadResult::Truncated : LoadResult::Complete;
}

// Reads and decodes the file; a file that an editor seems to be saving in place is given
// a moment to get its content back.
LoadResult Load(const std::string& path, ProfileText& file, std::string* failure = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + EMPTY_FILE_WAIT;
    LoadResult result = LoadOnce(path, file, failure);
    while (result == LoadResult::Complete && MayBeBeingSaved(file.info) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(EMPTY_FILE_POLL);
        file = ProfileText{};
        result = LoadOnce(path, file, failure);
    }
    if (result == LoadResult::Complete || result == LoadResult::Truncated) {
        Decode(file, result == LoadResult::Truncated);
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// Lines, sections and keys.

std::u16string_view Trim(std::u16string_view text, std::u16string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

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
    return EncodeUtf8(text);
}

void EnsureFinalBreak(std::u16string& text, std::u16string_view lineBreak) {
    if (!text.empty() && !IsLineBreak(text.back())) {
        text += lineBreak;
    }
}

// False when the key already holds the value: a write then leaves the file as it is, as
// the Windows functions do (no rewritten line, no final line break added).
bool SetKey(ProfileText& file, std::u16string_view section, std::u16string_view key,
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

// ---------------------------------------------------------------------------------------
// Writing the file.

// The real file behind a chain of symbolic links (which may not exist yet), so that a
// write replaces the file the link points to and keeps the link.
std::optional<std::string> ResolveLinks(const std::string& path) {
    std::filesystem::path current(path);
    for (int hop = 0; hop < SYMLINK_HOPS_MAX; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current.string();
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return std::nullopt;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return std::nullopt;
}

// A file without any write permission bit is read-only for everybody, root included, as
// the read-only attribute is on Windows; otherwise the usual access check decides.
bool IsWritable(const std::string& path, const struct stat& info) {
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

void SyncFolder(const std::string& folder) {
    FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        // The rename is done; a folder that cannot be synced leaves nothing to undo.
        fsync(fd.Get());
    }
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the open file fd is still the one described by `expected` holding `bytes`: the
// same file (device and inode), size and modification time, and the same bytes
// (timestamps are only as fine as the kernel's clock tick, so an edit of the same size
// could hide behind them).
bool HoldsExactly(int fd, const struct stat& expected, std::string_view bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_dev != expected.st_dev || info.st_ino != expected.st_ino ||
        info.st_size != expected.st_size || !SameTime(info.st_mtim, expected.st_mtim) ||
        static_cast<std::size_t>(info.st_size) != bytes.size()) {
        return false;
    }
    std::string now(bytes.size() + 1, '\0');
    std::size_t got = 0;
    while (got < now.size()) {
        const ssize_t n = pread(fd, now.data() + got, now.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return std::string_view(now.data(), got) == bytes;
}

// Whether path is still the very file that was read into `expected`.
bool IsStillTheFileRead(const std::string& path, const ProfileText& expected) {
    const FileDescriptor fd(
        open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    return fd.Get() >= 0 && HoldsExactly(fd.Get(), expected.info, expected.bytes);
}

bool IsSameFile(const std::string& path, const struct stat& expected) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && info.st_dev == expected.st_dev &&
           info.st_ino == expected.st_ino;
}

bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// File leases (where the file system and the file's owner allow them) tell whether an
// editor is saving in place: the kernel refuses a read lease while the file is open for
// writing, and holds back anyone who opens a leased file for writing (or a write-leased
// one at all) until the lease is let go, marking the lease as broken meanwhile.
enum class Lease { Held, Busy, None };

Lease TakeLease(int fd, int type) {
    // A break is announced with a signal: SIGURG, whose default is to be ignored.
    if (fcntl(fd, F_SETSIG, SIGURG) != 0) {
        return Lease::None;
    }
    if (fcntl(fd, F_SETLEASE, type) == 0) {
        return Lease::Held;
    }
    return errno == EAGAIN ? Lease::Busy : Lease::None;
}

// Someone waits to open the leased file.
bool LeaseBroken(int fd) {
    return fcntl(fd, F_GETLEASE) == F_UNLCK;
}

enum class ReplaceResult {
    Replaced,
    Changed, // someone else changed the file since it was read: nothing was replaced
    Failed
};

// Puts the finished temporary file (ours: open as oursFd, described by oursInfo, holding
// oursBytes) in the place of the file that was read (old; leaseFd holds a read lease on
// it, or is -1), or of no file (old null). The swap is atomic. Should the file have
// changed in between (an editor's save by rename or in place), the newest save goes back
// in place and the change is redone on it, instead of undoing the save.
ReplaceResult PutInPlace(const std::string& temporary, const std::string& path,
                         const ProfileText* old, int leaseFd, int oursFd,
                         const struct stat& oursInfo, std::string_view oursBytes) {
    if (old == nullptr) {
        if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            s_lastWritten = oursInfo;
            return ReplaceResult::Replaced;
        }
        if (errno == EEXIST) {
            return ReplaceResult::Changed;
        }
        if (!Unsupported(errno)) {
            return ReplaceResult::Failed;
        }
        // A file system without the flag: a hard link is just as exclusive.
        if (link(temporary.c_str(), path.c_str()) == 0) {
            unlink(temporary.c_str());
            s_lastWritten = oursInfo;
            return ReplaceResult::Replaced;
        }
        return errno == EEXIST ? ReplaceResult::Changed : ReplaceResult::Failed;
    }
    const bool leased = leaseFd >= 0;
    // While ours is in place but not yet settled, an editor that opens it waits.
    const bool oursLeased = leased && TakeLease(oursFd, F_WRLCK) == Lease::Held;
    if (leased && LeaseBroken(leaseFd)) {
        return ReplaceResult::Changed; // an editor waits to save into the file
    }
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == ENOENT) {
            return ReplaceResult::Changed; // removed since it was read
        }
        if (!Unsupported(errno)) {
            return ReplaceResult::Failed;
        }
        // A file system without the swap: check, then rename, as close together as can be.
        if (!IsStillTheFileRead(path, *old)) {
            return ReplaceResult::Changed;
        }
        if (rename(temporary.c_str(), path.c_str()) != 0) {
            return ReplaceResult::Failed;
        }
        s_lastWritten = oursInfo;
        return ReplaceResult::Replaced;
    }
    // The temporary name now holds what was in place a moment ago. An editor that found
    // it just before the swap opens it a moment later: the check waits for that moment,
    // so it sees the editor waiting (or, without a lease, the truncation).
    const bool ourOwn = old->info.st_dev == s_lastWritten.st_dev &&
                        old->info.st_ino == s_lastWritten.st_ino &&
                        SameTime(old->info.st_mtim, s_lastWritten.st_mtim);
    const auto settle = ourOwn ? SWAP_SETTLE : SWAP_SETTLE_WHILE_EDITED;
    std::this_thread::sleep_for(settle);
    const bool editorWaitsForOld = leased && LeaseBroken(leaseFd);
    if (!editorWaitsForOld && IsStillTheFileRead(temporary, *old)) {
        unlink(temporary.c_str());
        s_lastWritten = oursInfo;
        return ReplaceResult::Replaced;
    }
    // The file was changed by someone else meanwhile, and the change is made again on the
    // newest save. That stays in place when it is a save by rename over ours, or a save
    // into ours (an editor waiting for it; without a lease, ours no longer holding what we
    // wrote).
    const bool editorWantsOurs = oursLeased ? LeaseBroken(oursFd) && !editorWaitsForOld
                                            : !HoldsExactly(oursFd, oursInfo, oursBytes);
    if (!IsSameFile(path, oursInfo) || editorWantsOurs) {
        unlink(temporary.c_str());
        return ReplaceResult::Changed;
    }
    // Else the changed file goes back in place. A save by rename that comes meanwhile is
    // newer still (the temporary name then holds it), as is one into ours just before.
    const bool swappedBack =
        renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0;
    bool temporaryIsNewest = !swappedBack || !IsSameFile(temporary, oursInfo);
    if (!temporaryIsNewest && !oursLeased) {
        std::this_thread::sleep_for(settle);
        temporaryIsNewest = !HoldsExactly(oursFd, oursInfo, oursBytes);
    }
    if (temporaryIsNewest) {
        rename(temporary.c_str(), path.c_str());
    }
    unlink(temporary.c_str());
    return ReplaceResult::Changed;
}

// Writes a temporary file beside the old one, flushes it to disk and puts it in the old
// one's place, so the file holds the old bytes or the new ones, never a mix. The
// temporary file is private to the user from its creation (it holds an e-mail address); a
// new file stays so, a rewritten one gets the old one's owner and permission bits.
ReplaceResult ReplaceFile(const std::string& path, std::string_view bytes, const ProfileText* old,
                          int leaseFd, std::string* failure) {
    const std::string folder = FolderOf(path);
    std::string temporary = folder + "/." + std::filesystem::path(path).filename().string() +
                            std::string(TEMPORARY_SUFFIX);
    // mkostemp creates the file with mode 0600.
    FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        SetFailure(failure, ErrnoText(errno));
        return ReplaceResult::Failed;
    }
    bool ok = WriteAll(fd.Get(), bytes);
    if (ok && old != nullptr) {
        if ((old->info.st_uid != geteuid() || old->info.st_gid != getegid()) &&
            fchown(fd.Get(), old->info.st_uid, old->info.st_gid) != 0) {
            // Only root may give the file away; otherwise it becomes ours, as any copy would.
        }
        ok = fchmod(fd.Get(), old->info.st_mode & 07777) == 0;
    }
    struct stat ours {};
    ok = ok && fsync(fd.Get()) == 0 && fstat(fd.Get(), &ours) == 0;
    if (!ok) {
        SetFailure(failure, ErrnoText(errno));
    }
    // The file stays open until it is in place: an inode number is only ours while we hold
    // the file, else a file made meanwhile (an editor's next save) may get the same one.
    const ReplaceResult result =
        ok ? PutInPlace(temporary, path, old, leaseFd, fd.Get(), ours, bytes)
           : ReplaceResult::Failed;
    if (result == ReplaceResult::Failed && ok) {
        SetFailure(failure, ErrnoText(errno));
    }
    fd.Close();
    if (result != ReplaceResult::Replaced) {
        unlink(temporary.c_str());
        return result;
    }
    SyncFolder(folder);
    return ReplaceResult::Replaced;
}

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsTemporaryNameOf(std::string_view name, std::string_view fileName) {
    if (name.size() != 1 + fileName.size() + TEMPORARY_SUFFIX.size() || name.front() != '.' ||
        name.substr(1, fileName.size()) != fileName || name[1 + fileName.size()] != '.') {
        return false;
    }
    const std::string_view random = name.substr(2 + fileName.size());
    return std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

} // namespace

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultText) {
    ProfileText file;
    LoadResult result = LoadResult::Missing;
    if (!path.empty()) {
        const std::lock_guard lock(s_fileLock);
        result = Load(path, file);
    }
    if (result == LoadResult::Complete || result == LoadResult::Truncated) {
        const KeyLookup found = FindKey(file.text, Trim(FromArgument(section), ARGUMENT_BLANKS),
                                        Trim(FromArgument(key), ARGUMENT_BLANKS));
        if (found.keyFound) {
            return ForReader(Unquote(found.value));
        }
    }
    // The default loses trailing spaces only.
    std::u16string fallback = FromArgument(defaultText);
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
    const std::u16string sectionName(Trim(FromArgument(section), ARGUMENT_BLANKS));
    const std::u16string keyName(Trim(FromArgument(key), ARGUMENT_BLANKS));
    const std::u16string valueText = FromArgument(value);

    const std::lock_guard lock(s_fileLock);
    const std::optional<std::string> target = ResolveLinks(path);
    if (!target) {
        out.failure = ErrnoText(ELOOP);
        return false;
    }
    const auto busyUntil = std::chrono::steady_clock::now() + EMPTY_FILE_WAIT;
    for (int attempt = 0; attempt < WRITE_ATTEMPTS_MAX; ++attempt) {
        ProfileText file;
        const LoadResult result = Load(*target, file, &out.failure);
        if (result == LoadResult::Failed) {
            return false;
        }
        if (result == LoadResult::Truncated) {
            out.failure = "the file is larger than 1 MiB";
            return false;
        }
        const bool exists = result == LoadResult::Complete;
        if (!SetKey(file, sectionName, keyName, valueText)) {
            out.unchanged = true;
            return true;
        }
        if (exists && !IsWritable(*target, file.info)) {
            out.failure = "the file is read-only";
            return false;
        }
        const std::string bytes = Encode(file);
        if (bytes.size() > PROFILE_FILE_MAX) {
            out.failure = "the file would grow larger than 1 MiB";
            return false;
        }
        if (exists && bytes == file.bytes) {
            out.unchanged = true;
            return true;
        }
        // An editor saving in place holds the file open for writing: wait for it to finish.
        FileDescriptor leaseFd(exists ? open(target->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                                                  O_NONBLOCK | O_NOFOLLOW)
                                      : -1);
        if (leaseFd.Get() >= 0) {
            const Lease lease = TakeLease(leaseFd.Get(), F_RDLCK);
            if (lease == Lease::Busy && std::chrono::steady_clock::now() < busyUntil) {
                std::this_thread::sleep_for(EMPTY_FILE_POLL);
                --attempt;
                continue;
            }
            if (lease != Lease::Held) {
                leaseFd.Close();
            } else if (!HoldsExactly(leaseFd.Get(), file.info, file.bytes)) {
                continue; // changed since it was read
            }
        }
        switch (
            ReplaceFile(*target, bytes, exists ? &file : nullptr, leaseFd.Get(), &out.failure)) {
        case ReplaceResult::Replaced:
            return true;
        case ReplaceResult::Failed:
            return false;
        case ReplaceResult::Changed:
            break;
        }
    }
    out.failure = "the file kept changing while it was being saved";
    return false;
}

int RemoveProfileLeftovers(const std::string& path) {
    const std::lock_guard lock(s_fileLock);
    const std::optional<std::string> target = ResolveLinks(path);
    if (!target) {
        return 0;
    }
    const std::string folder = FolderOf(*target);
    const std::string fileName = std::filesystem::path(*target).filename().string();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        // Only regular files of ours: a link or a folder of that name is somebody's own.
        if (IsTemporaryNameOf(entry->d_name, fileName) &&
            fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
            unlinkat(dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    closedir(dir);
    return removed;
}
