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
#include <csignal>
#include <cstring>
#include <thread>

namespace platform {
namespace posix {
namespace {

// An editor that saves in place truncates the file and then writes it. A file found empty
// that was changed this recently is taken to be in the middle of such a save.
constexpr auto EMPTY_FILE_RECENT = std::chrono::seconds(1);
// How long a reader waits for an editor to finish a save in place.
constexpr auto EDITOR_WAIT = std::chrono::milliseconds(250);
// Without change notifications, how often a waiting reader looks at the file again.
constexpr auto EDITOR_POLL = std::chrono::milliseconds(2);

long long NanosecondsOf(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

FileSnapshot Failure(const std::string& why) {
    FileSnapshot file;
    file.state = FileSnapshot::State::Failed;
    file.failure = why;
    return file;
}

// Reads at most maxBytes of the file that fd has open (or could not open: openError).
FileSnapshot ReadOpened(int fd, int openError, std::size_t maxBytes) {
    FileSnapshot file;
    struct stat info {};
    if (fd < 0 && (openError == ENOENT || openError == ENOTDIR)) {
        return file;
    }
    if (fd < 0) {
        return Failure(ErrnoText(openError));
    }
    if (fstat(fd, &info) != 0) {
        return Failure(ErrnoText(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return Failure("the file is a folder");
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure("the file is not a regular file");
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
        const ssize_t n = read(fd, file.bytes.data() + got, file.bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Failure(ErrnoText(errno));
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

// O_NONBLOCK: a FIFO named like the file must not block the open.
FileDescriptor OpenToRead(const std::string& path) {
    return FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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

// One look at the file, and whether it seemed settled: no save of an editor under way.
struct Look {
    FileSnapshot file;
    bool settled;
};

// Whether a look may have met a save under way: the file held by someone who is replacing
// it (an open that would have to wait for their lease), or emptied a moment ago.
bool SaveUnderWay(int fd, int openError, const FileSnapshot& file) {
    return (fd < 0 && openError == EWOULDBLOCK) || MayBeBeingSaved(file);
}

Look Read(const std::string& path, std::size_t maxBytes) {
    const FileDescriptor fd = OpenToRead(path);
    const int openError = errno;
    FileSnapshot file = ReadOpened(fd.Get(), openError, maxBytes);
    const bool settled = !SaveUnderWay(fd.Get(), openError, file);
    return {std::move(file), settled};
}

// The lease comes first and the bytes second, so that no save falls between the two.
Look Hold(const std::string& path, std::size_t maxBytes) {
    FileDescriptor fd = OpenToRead(path);
    const int openError = errno;
    const Lease lease = TakeLease(fd.Get(), F_RDLCK);
    Look look{ReadOpened(fd.Get(), openError, maxBytes), lease != Lease::Busy};
    look.settled = look.settled && !SaveUnderWay(fd.Get(), openError, look.file);
    if (lease == Lease::Held) {
        look.file.hold = std::move(fd);
    }
    return look;
}

// This thread's instance of change notifications, kept for its next wait: starting and
// stopping a watch takes microseconds, but closing an instance takes milliseconds, which a
// writer that holds the file must not spend. -1 when none can be had.
int ThreadNotifier() {
    thread_local const FileDescriptor t_notifier(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    return t_notifier.Get();
}

// Wakes a wait when the file at a path changes: written, closed after writing, created,
// renamed into place or deleted. The folder is watched, not the file: a save by rename
// brings another file. Without change notifications (none left to this user, say) a wait
// is a short sleep, after which the caller looks again.
class ChangeWatch final {
public:
    explicit ChangeWatch(const std::string& path)
        : m_name(SplitPath(path).name), m_fd(ThreadNotifier()) {
        constexpr std::uint32_t EVENTS =
            IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;
        m_watch = m_fd >= 0 ? inotify_add_watch(m_fd, SplitPath(path).folder.c_str(), EVENTS) : -1;
        // What an earlier watch left queued is old news: the caller looks next.
        ConcernsTheFile();
    }
    ~ChangeWatch() {
        if (m_watch >= 0) {
            inotify_rm_watch(m_fd, m_watch);
        }
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // False when the deadline came first.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                return false;
            }
            if (m_watch < 0) {
                std::this_thread::sleep_for(
                    std::min<std::chrono::steady_clock::duration>(left, EDITOR_POLL));
                return true;
            }
            pollfd ready{m_fd, POLLIN, 0};
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            const int r = poll(&ready, 1, static_cast<int>(ms));
            if (r > 0 && ConcernsTheFile()) {
                return true;
            }
            if (r < 0 && errno != EINTR) {
                inotify_rm_watch(m_fd, m_watch);
                m_watch = -1; // from now on, a short sleep
            }
        }
    }

private:
    // Reads the events waiting; whether one of them was about the file.
    bool ConcernsTheFile() {
        alignas(inotify_event) char buffer[4096];
        bool concerns = false;
        ssize_t n = 0;
        while (m_fd >= 0 && (n = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                inotify_event event{};
                std::memcpy(&event, buffer + at, sizeof event);
                const std::string_view name(buffer + at + sizeof event,
                                            strnlen(buffer + at + sizeof event, event.len));
                // An overflowing queue has lost events: one of them may have been the file's.
                concerns = concerns || (event.mask & IN_Q_OVERFLOW) != 0 ||
                           (event.wd == m_watch && name == m_name);
                at += static_cast<ssize_t>(sizeof event + event.len);
            }
        }
        return concerns;
    }

    std::string m_name;
    int m_fd;
    int m_watch = -1;
};

// Looks at the file until it seems settled, waiting for each change, for a while at most;
// then the last look stands.
template <class LookOnce>
FileSnapshot LookUntilSettled(const std::string& path, LookOnce lookOnce) {
    Look look = lookOnce();
    if (look.settled) {
        return std::move(look.file);
    }
    // Watched from before the next look, so that no change between the two is missed.
    ChangeWatch watch(path);
    const auto deadline = std::chrono::steady_clock::now() + EDITOR_WAIT;
    do {
        look = lookOnce();
    } while (!look.settled && watch.WaitUntil(deadline));
    return std::move(look.file);
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

Lease TakeLease(int fd, int type) {
    // A break is announced with a signal: SIGURG, whose default is to be ignored.
    if (fd < 0 || fcntl(fd, F_SETSIG, SIGURG) != 0) {
        return Lease::None;
    }
    if (fcntl(fd, F_SETLEASE, type) == 0) {
        return Lease::Held;
    }
    return errno == EAGAIN ? Lease::Busy : Lease::None;
}

bool LeaseBroken(int fd) {
    return fd >= 0 && fcntl(fd, F_GETLEASE) == F_UNLCK;
}

} // namespace posix

FileSnapshot ReadEditedFile(const std::string& path, std::size_t maxBytes) {
    return posix::LookUntilSettled(path, [&] { return posix::Read(path, maxBytes); });
}

FileSnapshot HoldEditedFile(const std::string& path, std::size_t maxBytes) {
    return posix::LookUntilSettled(path, [&] { return posix::Hold(path, maxBytes); });
}

bool IsReadOnly(const std::string& path, const FileSnapshot& read) {
    if ((read.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return true;
    }
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

} // namespace platform
