// SPDX-License-Identifier: MIT
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <ctime>
#include <string>

// What the service asks of the files it reads (its settings, its spool): that nobody else
// could have changed them, and that reading them is bounded.

// Why a file or folder the service relies on may have been changed by someone else, as
// ssh asks of a key file: another user owns it (root may own what rootMayOwn allows), or
// its group or everybody may write it. Empty when it is trusted.
std::string WhyNotTrusted(const struct stat& info, bool rootMayOwn);

// Permission bits as chmod takes them: "0640".
std::string ModeText(mode_t mode);

// The whole content of an open regular file of at most maxBytes. False on a read error
// or a larger file.
bool ReadWhole(int fd, std::size_t maxBytes, std::string& bytes);

enum class OwnFile {
    Missing,
    Ok,
    Unusable, // no regular file, not this user's alone, unreadable or too large
};
// Reads a regular file of this user's that nobody else can write, of at most maxBytes,
// without following a link or waiting on a FIFO; why it is unusable in why.
OwnFile ReadOwnFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                    std::string& why);

// Removes the entries of a folder (not those below it) last changed before the time.
void RemoveOlderThan(const std::string& folder, std::time_t before);
