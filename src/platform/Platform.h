// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

// What differs per operating system, behind one small interface. Paths are UTF-8.
namespace platform {

// Full path of the running program file with every symbolic link resolved, or empty when
// it cannot be had.
std::string ExecutablePath();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path,
// else ~/.config.
std::string UserConfigDir();

// The user's cache folder: $XDG_CACHE_HOME when it is an absolute path, else ~/.cache.
std::string UserCacheDir();

// Gives the memory the heap holds free back to the system, where the C library can.
void ReturnFreeMemory();

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string UserDataDir();

// A folder only this user can enter, for the instance lock and the local socket:
// $XDG_RUNTIME_DIR when it is ours and private, else tmpBase/orvantis-<uid> (created,
// and checked to be ours with mode 0700). Empty when neither is: another user may have
// made that folder first.
std::string UserRuntimeDir(const std::string& tmpBase = "/tmp");

// Creates the folder (mode 0700) unless it exists; the path when it is then a folder of
// ours that nobody else may enter, else empty.
std::string PrivateFolder(const std::string& path);

// Where the instance lock and the hand-over socket live: UserRuntimeDir(tmpBase), else
// `fallback` (a folder of the user's own, made private). Empty when neither can be had.
// usedFallback tells which was taken.
std::string InstanceFolder(const std::string& fallback, bool* usedFallback,
                           const std::string& tmpBase = "/tmp");

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
// line (without its line break) of at most maxAnswer bytes into answer. Bounded by
// timeoutMs. False when the socket cannot be reached, does not answer in time, or answers
// with a longer line.
bool LocalSocketExchange(const std::string& socketPath, const std::string& request,
                         std::string* answer, int timeoutMs, std::size_t maxAnswer = 255);

// A descriptor that becomes readable when the process is asked to end (SIGTERM, SIGINT,
// SIGHUP), so the event loop can end the program cleanly; -1 when it cannot be set up.
// The first call installs the handlers: make it first thing, so that a request at any
// moment of start-up is kept. Waits of LocalSocketExchange end early on a request.
int TerminationRequestFd();
// True when the process has been asked to end since the handlers were installed.
bool TerminationRequested();

// The user id of the peer of a connected local socket, or -1.
long PeerUserId(long long socketDescriptor);
// The user id of this process.
long CurrentUserId();

// Whether an X server accepts connections on the local display of that number (its
// socket under /tmp/.X11-unix, in the abstract namespace or as a file). Bounded by
// timeoutMs.
bool LocalXServerReachable(int display, int timeoutMs);

} // namespace platform

// Start at login. The setting is the presence of one entry that starts the program with
// "-s" when the user logs in; nothing about it is kept anywhere else.
namespace platform {

// Where the entry lives: $XDG_CONFIG_HOME/autostart/Orvantis.desktop (~/.config/autostart).
std::string AutostartEntryPath();

// Whether the entry is there and on. A desktop's own start-up settings may switch an entry
// off (Hidden=true, X-GNOME-Autostart-enabled=false) instead of deleting it: that is off.
bool IsAutostartEnabled();

// Writes an entry that is on and starts programPath with "-s", atomically, in place of
// whatever was at its path: a link there is replaced, never written through. False when
// it cannot be written or the path holds what an entry cannot carry (control characters,
// text that is not UTF-8).
bool EnableAutostart(const std::string& programPath);

// Deletes the entry when it is on. One that is missing, or already switched off by the
// desktop (it may be hiding an entry of the whole system), stays as it is. False when an
// entry that is on could not be deleted.
bool DisableAutostart();

} // namespace platform
