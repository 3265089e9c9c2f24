// SPDX-License-Identifier: MIT
#include "platform/Platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace {

bool IsPrivateFolderOfOurs(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 0077) == 0;
}

// $variable when it is an absolute path, else the home folder followed by underHome.
std::string XdgBaseDir(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    std::string base;
    if (home != nullptr && home[0] == '/') {
        base = home;
    } else if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
        base = pw->pw_dir;
    }
    return base + underHome;
}

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int g_terminationPipe[2] = {-1, -1};
// How long a client waits before it knocks again on a listener whose queue is full.
constexpr int CONNECT_RETRY_MS = 10;

// Waits for fd to be ready for events until the deadline; false on time-out, error or a
// request to end the process.
bool WaitFor(int fd, short events, long long deadline) {
    for (;;) {
        const long long left = deadline - NowMs();
        if (left <= 0) {
            return false;
        }
        pollfd pfds[2] = {{fd, events, 0}, {g_terminationPipe[0], POLLIN, 0}};
        const int r = poll(pfds, g_terminationPipe[0] >= 0 ? 2 : 1, static_cast<int>(left));
        if (r > 0) {
            return pfds[1].revents == 0 && pfds[0].revents != 0;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
}

} // namespace

std::string ExecutablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0 || n >= PATH_MAX) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string UserConfigDir() {
    return XdgBaseDir("XDG_CONFIG_HOME", "/.config");
}

std::string UserCacheDir() {
    return XdgBaseDir("XDG_CACHE_HOME", "/.cache");
}

void ReturnFreeMemory() {
    malloc_trim(0);
}

std::string UserDataDir() {
    return XdgBaseDir("XDG_DATA_HOME", "/.local/share");
}

std::string PrivateFolder(const std::string& path) {
    if (path.empty() || (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)) {
        return {};
    }
    return IsPrivateFolderOfOurs(path) ? path : std::string();
}

std::string UserRuntimeDir(const std::string& tmpBase) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/' && IsPrivateFolderOfOurs(xdg)) {
        return xdg;
    }
    // Someone else may have made the folder first: use it only when it is ours alone.
    return PrivateFolder(tmpBase + "/orvantis-" + std::to_string(geteuid()));
}

std::string InstanceFolder(const std::string& fallback, bool* usedFallback,
                           const std::string& tmpBase) {
    std::string folder = UserRuntimeDir(tmpBase);
    const bool fellBack = folder.empty();
    if (fellBack) {
        folder = PrivateFolder(fallback);
    }
    if (usedFallback != nullptr) {
        *usedFallback = fellBack;
    }
    return folder;
}

void CreateFolderChain(const std::string& path) {
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        mkdir(path.substr(0, pos).c_str(), 0700);
    }
    mkdir(path.c_str(), 0700);
}

CInstanceLock::~CInstanceLock() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

CInstanceLock::Result CInstanceLock::Acquire(const std::string& path) {
    if (m_fd >= 0) {
        return Result::Acquired;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return Result::Unavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? Result::HeldByAnother : Result::Unavailable;
    }
    m_fd = fd;
    return Result::Acquired;
}

namespace {

// Connects the non-blocking socket to addr. A listener whose queue is full refuses at
// once rather than making the client wait: that is tried again until the deadline.
bool ConnectBy(int fd, const sockaddr_un& addr, long long deadline) {
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0) {
            return true;
        }
        if (errno == EINPROGRESS) {
            int err = 0;
            socklen_t len = sizeof(err);
            return WaitFor(fd, POLLOUT, deadline) &&
                   getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
        if ((errno != EAGAIN && errno != EINTR) || NowMs() + CONNECT_RETRY_MS >= deadline) {
            return false;
        }
        pollfd none{-1, 0, 0};
        poll(&none, 1, CONNECT_RETRY_MS);
        if (TerminationRequested()) {
            return false;
        }
    }
}

bool SendAll(int fd, const std::string& data, long long deadline) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        if (!WaitFor(fd, POLLOUT, deadline)) {
            return false;
        }
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

// Reads up to the first line break; the line, without it, when it came whole and no
// longer than maxLine before the deadline.
bool ReceiveLine(int fd, std::string* line, std::size_t maxLine, long long deadline) {
    line->clear();
    while (line->size() <= maxLine) {
        if (!WaitFor(fd, POLLIN, deadline)) {
            return false;
        }
        char chunk[256];
        const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        line->append(chunk, static_cast<std::size_t>(n));
        if (const auto eol = line->find('\n'); eol != std::string::npos) {
            line->resize(eol);
            return eol <= maxLine;
        }
    }
    return false;
}

} // namespace

bool LocalSocketExchange(const std::string& socketPath, const std::string& request,
                         std::string* answer, int timeoutMs, std::size_t maxAnswer) {
    sockaddr_un addr{};
    if (socketPath.empty() || socketPath.size() >= sizeof(addr.sun_path)) {
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    const long long deadline = NowMs() + timeoutMs;
    const bool ok = ConnectBy(fd, addr, deadline) && SendAll(fd, request, deadline) &&
                    (answer == nullptr || ReceiveLine(fd, answer, maxAnswer, deadline));
    close(fd);
    return ok;
}

namespace {
void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(g_terminationPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

int TerminationRequestFd() {
    if (g_terminationPipe[0] >= 0) {
        return g_terminationPipe[0];
    }
    if (pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
    return g_terminationPipe[0];
}

bool TerminationRequested() {
    if (g_terminationPipe[0] < 0) {
        return false;
    }
    pollfd pfd{g_terminationPipe[0], POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
}

long PeerUserId(long long socketDescriptor) {
    ucred cred{};
    socklen_t len = sizeof(cred);
    if (getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        return -1;
    }
    return static_cast<long>(cred.uid);
}

long CurrentUserId() {
    return static_cast<long>(geteuid());
}

namespace {
bool ConnectsWithin(const sockaddr_un& addr, socklen_t length, long long deadline) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
    if (!ok && (errno == EINPROGRESS || errno == EAGAIN)) {
        int err = 0;
        socklen_t len = sizeof(err);
        ok = WaitFor(fd, POLLOUT, deadline) &&
             getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    close(fd);
    return ok;
}
} // namespace

bool LocalXServerReachable(int display, int timeoutMs) {
    if (display < 0) {
        return false;
    }
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
    const long long deadline = NowMs() + timeoutMs;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // The abstract name first, as X clients do; its first byte stays zero.
    std::memcpy(addr.sun_path + 1, path.c_str(), path.size());
    const auto abstractLength =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    if (ConnectsWithin(addr, abstractLength, deadline)) {
        return true;
    }
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return ConnectsWithin(addr, sizeof(addr), deadline);
}

} // namespace platform
