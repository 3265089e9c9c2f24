// SPDX-License-Identifier: MIT
#pragma once

#include <sys/stat.h>

#include <cstddef>
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
