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

// Fills in which file the snapshot is of, and its size, time, owner and permission bits.
void Describe(FileSnapshot& file, const struct stat& info);
// Whether info describes the very file of the snapshot (the same device and inode).
bool IsSameFile(const struct stat& info, const FileSnapshot& file);
// Whether the open file fd is still the file of `expected`, holding `bytes`: the same file,
// size and modification time, and the same bytes.
bool HoldsExactly(int fd, const FileSnapshot& expected, std::string_view bytes);

// File leases, where the file system and the file's owner allow them, tell whether an
// editor is saving in place: the kernel refuses a read lease while the file is open for
// writing, and holds back anyone who opens a leased file for writing (or a write-leased one
// at all) until the lease is let go, marking the lease as broken meanwhile.
enum class Lease { Held, Busy, None };
Lease TakeLease(int fd, int type);
// Someone waits to open the leased file for writing.
bool LeaseBroken(int fd);

} // namespace platform::posix
