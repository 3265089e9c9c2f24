// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// What differs per operating system, behind one small interface. Paths are UTF-8.
namespace platform {

// Full path of the running program file, or empty when it cannot be had.
std::string ExecutablePath();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path,
// else ~/.config.
std::string UserConfigDir();

// A folder only this user can enter, for the instance lock and the local socket:
// $XDG_RUNTIME_DIR when it is ours and private, else a private folder under /tmp
// (created, and checked to be ours with mode 0700). Empty when none can be had.
std::string UserRuntimeDir();

// Creates every missing folder along path (mode 0700 for new ones); errors are ignored.
void CreateFolderChain(const std::string& path);

// Holds an exclusive lock on a file for the life of the process. The kernel drops it
// when the process dies, however it dies, so a killed instance leaves no stale lock.
class CInstanceLock final {
public:
    CInstanceLock() = default;
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    enum class Result { Acquired, HeldByAnother, Unavailable };
    Result Acquire(const std::string& path);

private:
    int m_fd = -1;
};

// One request/answer exchange with a local stream socket: sends request, then reads one
// line (without its line break) of at most 255 bytes into answer. Bounded by timeoutMs.
// False when the socket cannot be reached or does not answer in time.
bool LocalSocketExchange(const std::string& socketPath, const std::string& request,
                         std::string* answer, int timeoutMs);

// A descriptor that becomes readable when the process is asked to end (SIGTERM, SIGINT,
// SIGHUP), so the event loop can end the program cleanly; -1 when it cannot be set up.
int TerminationRequestFd();

// The user id of the peer of a connected local socket, or -1.
long PeerUserId(long long socketDescriptor);
// The user id of this process.
long CurrentUserId();

// Whether an X server accepts connections on the local display of that number (its
// socket under /tmp/.X11-unix, in the abstract namespace or as a file). Bounded by
// timeoutMs.
bool LocalXServerReachable(int display, int timeoutMs);

} // namespace platform
