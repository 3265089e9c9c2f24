// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// Replaces the file at `path` by `bytes` so that a reader sees the old or the new content
// whole, never a part, even after a crash: written beside it with `mode` from the start,
// flushed, renamed over it, the folder flushed. False with the reason in `error`.
bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, std::string& error);
