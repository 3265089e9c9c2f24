// SPDX-License-Identifier: MIT
// Reading a file that a person may be saving at the same moment, by hand in an editor.
#include "platform/AtomicFile.h"
#include "platform/posix/EditedFile.h"
#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

namespace platform {
namespace posix {
namespace {

// An editor that saves in place truncates the file and then writes it. A file found empty
// that was changed this recently is taken to be in the middle of such a save.
constexpr auto EMPTY_FILE_RECENT = std::chrono::seconds(1);
// Without change notifications, how often a waiting reader looks at the file again.
constexpr auto EDITOR_POLL = std::chrono::milliseconds(2);

constexpr std::uint32_t CHANGE_EVENTS =
    IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;

long long NanosecondsOf(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

FileSnapshot Failure(FileSnapshot file, int error) {
    file.state = FileSnapshot::State::Failed;
    file.failure = ErrnoText(error);
    return file;
}

FileSnapshot Failure(FileSnapshot file, const char* why) {
    file.state = FileSnapshot::State::Failed;
    file.failure = why;
    return file;
}

FileSnapshot ReadOnce(const std::string& path, std::size_t maxBytes) {
    FileSnapshot file;
    // O_NONBLOCK: a FIFO named like the file must not block the open.
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd.Get() < 0) {
        return errno == ENOENT || errno == ENOTDIR ? file : Failure(file, errno);
    }
    if (fstat(fd.Get(), &info) != 0) {
        return Failure(file, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return Failure(file, "the file is a folder");
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure(file, "the file is not a regular file");
    }
    Describe(file, info);
    // One byte more than the cap tells a file at the cap from a larger one.
    const auto expected = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    file.bytes.resize(std::min(expected, maxBytes) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == file.bytes.size()) {
            if (got > maxBytes) {
                break;
            }
            // The file grew since fstat.
            file.bytes.resize(std::min(got * 2, maxBytes + 1));
        }
        const ssize_t n = read(fd.Get(), file.bytes.data() + got, file.bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Failure(file, errno);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    file.state = got > maxBytes ? FileSnapshot::State::Truncated : FileSnapshot::State::Complete;
    file.bytes.resize(std::min(got, maxBytes));
    return file;
}

// True when the file is empty and was changed so recently that an editor may be between
// truncating it and writing it.
bool MayBeBeingSaved(const FileSnapshot& file) {
    if (file.state != FileSnapshot::State::Complete || file.size != 0) {
        return false;
    }
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(file.modifiedNs)));
    return std::chrono::system_clock::now() - modified < EMPTY_FILE_RECENT;
}

} // namespace

void Describe(FileSnapshot& file, const struct stat& info) {
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = info.st_size;
    file.modifiedNs = NanosecondsOf(info.st_mtim);
    file.mode = info.st_mode & 07777;
    file.owner = info.st_uid;
    file.group = info.st_gid;
}

bool IsSameFile(const struct stat& info, const FileSnapshot& file) {
    return info.st_dev == file.device && info.st_ino == file.inode;
}

bool HoldsExactly(int fd, const FileSnapshot& expected, std::string_view bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !IsSameFile(info, expected) || info.st_size != expected.size ||
        NanosecondsOf(info.st_mtim) != expected.modifiedNs ||
        static_cast<std::size_t>(info.st_size) != bytes.size()) {
        return false;
    }
    // Timestamps are only as fine as the kernel's clock tick, so an edit of the same size
    // could hide behind them: the bytes decide.
    std::string now(bytes.size() + 1, '\0');
    std::size_t got = 0;
    while (got < now.size()) {
        const ssize_t n = pread(fd, now.data() + got, now.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n < 0) {
                return false;
            }
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return std::string_view(now.data(), got) == bytes;
}

ChangeWatch::ChangeWatch(const std::string& path) : m_name(SplitPath(path).name) {
    // The folder is watched, not the file: a save by rename brings another file.
    m_fd.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (m_fd.Get() >= 0 &&
        inotify_add_watch(m_fd.Get(), SplitPath(path).folder.c_str(), CHANGE_EVENTS) < 0) {
        m_fd.Close();
    }
}

bool ChangeWatch::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return false;
        }
        if (m_fd.Get() < 0) {
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(left, EDITOR_POLL));
            return true;
        }
        pollfd ready{m_fd.Get(), POLLIN, 0};
        const int r =
            poll(&ready, 1,
                 static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        if (r > 0 && ConcernsTheFile()) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            m_fd.Close(); // look again after a moment from now on
        }
    }
}

bool ChangeWatch::ConcernsTheFile() {
    alignas(inotify_event) char buffer[4096];
    bool concerns = false;
    ssize_t n = 0;
    while ((n = read(m_fd.Get(), buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            // An overflowing queue has lost events: one of them may have been the file's.
            concerns =
                concerns || (event.mask & IN_Q_OVERFLOW) != 0 ||
                (event.len > 0 && m_name == std::string_view(name, strnlen(name, event.len)));
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    return concerns;
}

} // namespace posix

FileSnapshot ReadEditedFile(const std::string& path, std::size_t maxBytes) {
    FileSnapshot file = posix::ReadOnce(path, maxBytes);
    if (!posix::MayBeBeingSaved(file)) {
        return file;
    }
    // Watched from before the next look, so that no change between the two is missed.
    posix::ChangeWatch watch(path);
    const auto deadline = std::chrono::steady_clock::now() + posix::EDITOR_WAIT;
    do {
        file = posix::ReadOnce(path, maxBytes);
    } while (posix::MayBeBeingSaved(file) && watch.WaitUntil(deadline));
    return file;
}

bool IsReadOnly(const std::string& path, const FileSnapshot& read) {
    if ((read.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return true;
    }
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

} // namespace platform
