// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Files replaced whole: whoever reads one finds the old bytes or the new ones, never a mix,
// and a crash or a full disk never leaves a torn or empty file behind. Paths are UTF-8.
namespace platform {

// An open file descriptor, closed when it goes.
class FileDescriptor final {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.m_fd);
            other.m_fd = -1;
        }
        return *this;
    }

    int Get() const { return m_fd; }
    // Closes now; false when the close reports an error (it may report a late write error).
    bool Close();
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }

private:
    int m_fd;
};

// Writes every byte, going on after an interruption or a short write. False on an error
// (errno says which; ENOSPC when the system took nothing).
bool WriteAll(int fd, std::string_view bytes);

// Flushes a folder's entries to the disk, so that a rename into it survives a power cut.
bool FlushFolder(const std::string& folder);

// Replaces the file at path with bytes: a temporary file beside it (".NAME.XXXXXX", private
// to the user from its creation) is written, given `mode`, flushed to the disk and renamed
// over path, and the folder is flushed. A link at path is replaced, never written through.
// False, with the reason in failure when given, when the file could not be put in place;
// no temporary file is left behind then.
bool ReplaceFile(const std::string& path, std::string_view bytes, unsigned mode = 0600,
                 std::string* failure = nullptr);

// ReplaceFile for base/folders.../name (mode 0600). base is made when missing and may be a
// link (the user's choice of place); every folder below it is made with mode 0700 and must
// be a real folder of ours, never a link.
bool ReplaceFileBelow(const std::string& base, const std::vector<std::string>& folders,
                      const std::string& name, std::string_view bytes);

// Removes the temporary files that replacements of path left beside it when a kill cut
// them short. Only for the one program that replaces path. The number removed.
int RemoveLeftoverTemporaries(const std::string& path);

// The file that path leads to through any chain of symbolic links (which need not exist
// yet), so that a replacement keeps the links. False when the chain loops or breaks.
bool ResolveLinks(const std::string& path, std::string& target);

// A file that people also edit by hand (gold.ini), as it was read, so that it is replaced
// only while it is still that very file.
struct FileSnapshot {
    enum class State {
        Missing,   // no such file
        Complete,  // bytes hold the whole file
        Truncated, // bytes hold the first maxBytes and a little more is there
        Failed     // not a regular file, unreadable, or a read error: see failure
    };
    State state = State::Missing;
    std::string bytes;
    std::string failure;
    // Which file it was, and its size, time and owner then (Complete and Truncated).
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedNs = 0;
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
    // From HoldEditedFile: the file held from before it was read (see there), where the
    // file system and its owner allow it.
    FileDescriptor hold;
};

// Reads at most maxBytes of path; a FIFO or device there never blocks the read. An empty
// file changed within the last second is taken to be in the middle of an editor's save in
// place (truncated, not yet written): it is read again as soon as it changes, for at most a
// quarter of a second.
FileSnapshot ReadEditedFile(const std::string& path, std::size_t maxBytes);

// ReadEditedFile for a file about to be replaced: it also waits, for at most the same
// quarter of a second, while someone holds the file open for writing, and then holds it
// from before it is read until the snapshot goes. Meanwhile an editor that opens it to save
// into it waits, and ReplaceIfUnchanged sees that.
FileSnapshot HoldEditedFile(const std::string& path, std::size_t maxBytes);

// A file without any write permission bit is read-only for everybody, root included, as the
// read-only attribute is on Windows; otherwise the usual access check decides.
bool IsReadOnly(const std::string& path, const FileSnapshot& read);

enum class ReplaceResult {
    Replaced,
    Changed, // someone changed the file since it was read: it holds their change, not ours
    Failed
};

// Replaces path with bytes as ReplaceFile does, but only while path is still the file that
// `read` (from HoldEditedFile) saw, or, for a Missing snapshot, while there is none; and
// never undoing a save that an editor makes meanwhile, by rename or in place. A new file is
// private; a replaced one keeps the old one's owner and permission bits.
ReplaceResult ReplaceIfUnchanged(const std::string& path, std::string_view bytes,
                                 const FileSnapshot& read, std::string* failure);

} // namespace platform
