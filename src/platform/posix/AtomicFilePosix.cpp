// SPDX-License-Identifier: MIT
// The one writer of whole files: a temporary file beside the target, flushed, renamed.
#include "platform/AtomicFile.h"
#include "platform/Platform.h"
#include "platform/posix/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>

namespace platform {
namespace posix {
namespace {

// The random part of a temporary name, as mkstemp makes it.
constexpr std::size_t RANDOM_LENGTH = 6;
constexpr std::string_view NAME_CHARACTERS =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// Names already taken by other temporary files are skipped; this many tries at most.
constexpr int CREATE_ATTEMPTS = 100;

// How many symbolic links are followed to reach the real file.
constexpr int SYMLINK_HOPS_MAX = 40;

std::string RandomPart() {
    unsigned char random[RANDOM_LENGTH] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Without the kernel's randomness, clock and counter still differ from call to call.
        static std::atomic<unsigned long long> s_counter{0};
        unsigned long long mix = static_cast<unsigned long long>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                 (s_counter++ * 0x9E3779B97F4A7C15ull) ^
                                 static_cast<unsigned long long>(getpid());
        for (unsigned char& byte : random) {
            byte = static_cast<unsigned char>(mix);
            mix = (mix >> 8) | (mix << 56);
        }
    }
    std::string part;
    for (const unsigned char byte : random) {
        part.push_back(NAME_CHARACTERS[byte % NAME_CHARACTERS.size()]);
    }
    return part;
}

bool IsNameCharacter(char c) {
    return NAME_CHARACTERS.find(c) != std::string_view::npos;
}

} // namespace

bool FlushToDisk(int fd) {
    return fsync(fd) == 0;
}

PathParts SplitPath(const std::string& path) {
    const std::filesystem::path parts(path);
    const std::string folder = parts.parent_path().string();
    return {folder.empty() ? "." : folder, parts.filename().string()};
}

int OpenFolder(const std::string& folder) {
    return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TemporaryFile::TemporaryFile(int dir, std::string_view name) : m_dir(dir) {
    for (int attempt = 0; attempt < CREATE_ATTEMPTS && m_fd.Get() < 0; ++attempt) {
        m_name = "." + std::string(name) + "." + RandomPart();
        // Read and write: a replacement checks later what the file holds.
        m_fd.Reset(
            openat(dir, m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (m_fd.Get() < 0 && errno != EEXIST) {
            break;
        }
    }
    m_created = m_fd.Get() >= 0;
}

TemporaryFile::~TemporaryFile() {
    if (m_created && !m_placed) {
        unlinkat(m_dir, m_name.c_str(), 0);
    }
}

bool TemporaryFile::Fill(std::string_view bytes, unsigned mode) {
    return m_fd.Get() >= 0 && WriteAll(m_fd.Get(), bytes) &&
           fchmod(m_fd.Get(), mode & 07777) == 0 && FlushToDisk(m_fd.Get());
}

bool IsTemporaryNameOf(std::string_view name, std::string_view fileName) {
    if (name.size() != 2 + fileName.size() + RANDOM_LENGTH || name.front() != '.' ||
        name.substr(1, fileName.size()) != fileName || name[1 + fileName.size()] != '.') {
        return false;
    }
    const std::string_view random = name.substr(2 + fileName.size());
    return std::all_of(random.begin(), random.end(), IsNameCharacter);
}

namespace {

// ReplaceFile in the open folder dir.
bool ReplaceIn(int dir, const std::string& name, std::string_view bytes, unsigned mode,
               std::string* failure) {
    TemporaryFile temporary(dir, name);
    // A rename replaces the name itself: a link at the file's place is never followed.
    const bool placed = temporary.Fill(bytes, mode) && temporary.Close() &&
                        renameat(dir, temporary.Name().c_str(), dir, name.c_str()) == 0;
    if (!placed) {
        if (failure != nullptr) {
            *failure = ErrnoText(errno);
        }
        return false;
    }
    temporary.Placed();
    // The file is in place; a folder that cannot be flushed leaves nothing to undo.
    FlushToDisk(dir);
    return true;
}

} // namespace
} // namespace posix

bool FileDescriptor::Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || close(fd) == 0;
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

bool FlushFolder(const std::string& folder) {
    const FileDescriptor dir(posix::OpenFolder(folder));
    return dir.Get() >= 0 && posix::FlushToDisk(dir.Get());
}

bool ReplaceFile(const std::string& path, std::string_view bytes, unsigned mode,
                 std::string* failure) {
    const posix::PathParts parts = posix::SplitPath(path);
    const FileDescriptor dir(posix::OpenFolder(parts.folder));
    if (dir.Get() < 0 || parts.name.empty()) {
        if (failure != nullptr) {
            *failure = ErrnoText(dir.Get() < 0 ? errno : EISDIR);
        }
        return false;
    }
    return posix::ReplaceIn(dir.Get(), parts.name, bytes, mode, failure);
}

bool ReplaceFileBelow(const std::string& base, const std::vector<std::string>& folders,
                      const std::string& name, std::string_view bytes) {
    CreateFolderChain(base);
    int dir = posix::OpenFolder(base);
    for (const std::string& folder : folders) {
        if (dir < 0) {
            return false;
        }
        // Made or not, it must be a real folder of ours: never a link to somewhere else.
        mkdirat(dir, folder.c_str(), 0700);
        const int next =
            openat(dir, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        dir = next;
        struct stat info {};
        if (dir >= 0 && (fstat(dir, &info) != 0 || info.st_uid != geteuid())) {
            close(dir);
            dir = -1;
        }
    }
    const FileDescriptor last(dir);
    return last.Get() >= 0 && posix::ReplaceIn(last.Get(), name, bytes, 0600, nullptr);
}

int RemoveLeftoverTemporaries(const std::string& path) {
    const posix::PathParts parts = posix::SplitPath(path);
    DIR* dir = opendir(parts.folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        // Only regular files of ours: a link or a folder of that name is somebody's own.
        if (posix::IsTemporaryNameOf(entry->d_name, parts.name) &&
            fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
            unlinkat(dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    closedir(dir);
    return removed;
}

bool ResolveLinks(const std::string& path, std::string& target) {
    std::filesystem::path current(path);
    for (int hop = 0; hop < posix::SYMLINK_HOPS_MAX; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            target = current.string();
            return true;
        }
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error) {
            errno = error.value();
            return false;
        }
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    errno = ELOOP;
    return false;
}

} // namespace platform
