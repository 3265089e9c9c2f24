// SPDX-License-Identifier: MIT
#pragma once

// The pieces that reading and replacing a file that people edit by hand share.

#include "platform/AtomicFile.h"
#include "platform/posix/PosixFiles.h"

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <string_view>

namespace platform::posix {

// How long a read or a replacement waits for an editor to finish a save in place.
constexpr auto EDITOR_WAIT = std::chrono::milliseconds(250);

// Fills in which file the snapshot is of, and its size, time, owner and permission bits.
void Describe(FileSnapshot& file, const struct stat& info);
// Whether info describes the very file of the snapshot (the same device and inode).
bool IsSameFile(const struct stat& info, const FileSnapshot& file);
// Whether the open file fd is still the file of `expected`, holding `bytes`: the same file,
// size and modification time, and the same bytes.
bool HoldsExactly(int fd, const FileSnapshot& expected, std::string_view bytes);

// Wakes a wait when the file at a path changes: written, closed after writing, created,
// renamed into place or deleted. Without change notifications (none left to this user,
// say) a wait is a short sleep, after which the caller looks again.
class ChangeWatch final {
public:
    explicit ChangeWatch(const std::string& path);
    // False when the deadline came first.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

private:
    // Reads the events waiting; whether one of them was about the file.
    bool ConcernsTheFile();

    std::string m_name;
    FileDescriptor m_fd;
};

} // namespace platform::posix
