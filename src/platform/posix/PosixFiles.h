// SPDX-License-Identifier: MIT
#pragma once

// The pieces that the file writers of this folder share.

#include "platform/AtomicFile.h"
#include "platform/common/ErrnoText.h"

#include <string>
#include <string_view>

namespace platform::posix {

// The one place where bytes are forced to the disk: an open file or folder.
bool FlushToDisk(int fd);

// path split into its folder ("." when it names none) and its last name.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts SplitPath(const std::string& path);

// Opens a folder to create and rename files in it.
int OpenFolder(const std::string& folder);

// A file being written beside the one it is to replace, as ".NAME.XXXXXX" in the same
// folder: private to the user from its creation, removed again unless it was put in place.
// It stays open until then: an inode number is only ours while we hold the file, else a
// file made meanwhile (an editor's next save) may get the same one.
class TemporaryFile final {
public:
    // Creates it in the open folder dir, beside `name`; Fd() is -1 when that failed (errno).
    TemporaryFile(int dir, std::string_view name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Fd() const { return m_fd.Get(); }
    const std::string& Name() const { return m_name; }
    // Writes bytes, gives the file its permission bits and flushes it to the disk. False
    // with errno set when any of it fails.
    bool Fill(std::string_view bytes, unsigned mode);
    // Closes it, reporting a late write error.
    bool Close() { return m_fd.Close(); }
    // It has taken the place of the file it replaces: its name is no longer its own.
    void Placed() { m_placed = true; }

private:
    int m_dir;
    std::string m_name;
    FileDescriptor m_fd;
    bool m_created = false;
    bool m_placed = false;
};

// Whether name is one that TemporaryFile gives beside fileName.
bool IsTemporaryNameOf(std::string_view name, std::string_view fileName);

} // namespace platform::posix
