// SPDX-License-Identifier: MIT
// Replacing a file only while it is still the one that was read, without ever undoing a
// save that a person makes at the same moment, by rename or in place.
#include "platform/AtomicFile.h"
#include "platform/posix/EditedFile.h"
#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {
namespace posix {
namespace {

// How long a replacement waits after its swap before it looks at the file it swapped out:
// longer than an open() takes from finding a file to truncating it, also on a busy
// machine, and longer while someone else has been writing the file. Nothing tells that an
// open has found a name and not yet reached the file, so only time can settle that.
constexpr auto SWAP_SETTLE = std::chrono::milliseconds(2);
constexpr auto SWAP_SETTLE_WHILE_EDITED = std::chrono::milliseconds(50);

// The file as the last replacement of this process left it: a file that no longer looks
// so has been written by someone else since.
struct LastReplacement {
    std::mutex mutex;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long modifiedNs = 0;
};

LastReplacement& Last() {
    static LastReplacement last;
    return last;
}

void Remember(const FileSnapshot& ours) {
    LastReplacement& last = Last();
    const std::lock_guard lock(last.mutex);
    last.device = ours.device;
    last.inode = ours.inode;
    last.modifiedNs = ours.modifiedNs;
}

bool IsOurLastReplacement(const FileSnapshot& read) {
    LastReplacement& last = Last();
    const std::lock_guard lock(last.mutex);
    return read.device == last.device && read.inode == last.inode &&
           read.modifiedNs == last.modifiedNs;
}

bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// One replacement of the file `name` in the open folder dir. Run() takes its steps in the
// order in which they must happen.
class GuardedReplacement final {
public:
    GuardedReplacement(int dir, const std::string& name, const FileSnapshot& read,
                       std::string_view bytes, std::string* failure)
        : m_dir(dir), m_name(name), m_read(read), m_bytes(bytes), m_failure(failure) {}

    ReplaceResult Run();

private:
    ReplaceResult CreateNew();
    bool WriteOurs(unsigned mode);
    ReplaceResult RenameIfUnchanged();
    ReplaceResult KeepTheNewestSave(bool editorWaitsForOld);

    ReplaceResult Fail() {
        if (m_failure != nullptr && m_failure->empty()) {
            *m_failure = ErrnoText(errno);
        }
        return ReplaceResult::Failed;
    }
    ReplaceResult Placed() {
        Remember(m_oursFile);
        return ReplaceResult::Replaced;
    }
    bool Exchange() const {
        return renameat2(m_dir, m_ours->Name().c_str(), m_dir, m_name.c_str(), RENAME_EXCHANGE) ==
               0;
    }
    bool IsOurs(const std::string& name) const {
        struct stat info {};
        return fstatat(m_dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
               IsSameFile(info, m_oursFile);
    }
    bool OursUntouched() const { return HoldsExactly(m_ours->Fd(), m_oursFile, m_bytes); }
    bool IsStillTheFileRead(const std::string& name) const {
        const FileDescriptor fd(
            openat(m_dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
        return fd.Get() >= 0 && HoldsExactly(fd.Get(), m_read, m_read.bytes);
    }

    int m_dir;
    const std::string& m_name;
    const FileSnapshot& m_read;
    std::string_view m_bytes;
    std::string* m_failure;
    // After a swap the temporary name holds the file swapped out: it goes with it.
    std::optional<TemporaryFile> m_ours;
    FileSnapshot m_oursFile;
    bool m_oursLeased = false;
    std::chrono::milliseconds m_settle = SWAP_SETTLE_WHILE_EDITED;
};

ReplaceResult GuardedReplacement::Run() {
    if (m_read.state == FileSnapshot::State::Missing) {
        return CreateNew();
    }
    // 1. The old file has been held since before it was read: an editor that opened it to
    // save into it since then waits, and is seen. Where it could not be held, the checks
    // below rest on the file's content alone.
    // 2. Ours is written and flushed beside it and, while it is being put in place, leased
    // in its turn: an editor that opens it meanwhile waits, and is seen.
    if (!WriteOurs(m_read.mode)) {
        return Fail();
    }
    m_oursLeased = m_read.hold.Get() >= 0 && TakeLease(m_ours->Fd(), F_WRLCK) == Lease::Held;
    // 3. An editor already waits to save into the old file: its save goes first.
    if (LeaseBroken(m_read.hold.Get())) {
        return ReplaceResult::Changed;
    }
    // 4. Ours and the old file swap names in one step.
    if (!Exchange()) {
        if (errno == ENOENT) {
            return ReplaceResult::Changed; // removed since it was read
        }
        return Unsupported(errno) ? RenameIfUnchanged() : Fail();
    }
    // 5. An editor that found the old file just before the swap opens it only a moment
    // later: wait for that moment, so that the look below sees the editor waiting (or,
    // without a lease, the truncation).
    m_settle = IsOurLastReplacement(m_read) ? SWAP_SETTLE : SWAP_SETTLE_WHILE_EDITED;
    std::this_thread::sleep_for(m_settle);
    const bool editorWaitsForOld = LeaseBroken(m_read.hold.Get());
    // 6. Untouched, the old file goes with the temporary name, and ours stays.
    if (!editorWaitsForOld && IsStillTheFileRead(m_ours->Name())) {
        return Placed();
    }
    // 7. Someone saved meanwhile: no save of theirs is undone.
    return KeepTheNewestSave(editorWaitsForOld);
}

// No file was there: ours goes in only while there still is none.
ReplaceResult GuardedReplacement::CreateNew() {
    if (!WriteOurs(0600)) {
        return Fail();
    }
    if (renameat2(m_dir, m_ours->Name().c_str(), m_dir, m_name.c_str(), RENAME_NOREPLACE) == 0) {
        m_ours->Placed();
        return Placed();
    }
    if (errno == EEXIST) {
        return ReplaceResult::Changed;
    }
    if (!Unsupported(errno)) {
        return Fail();
    }
    // A file system without the flag: a hard link is just as exclusive.
    if (linkat(m_dir, m_ours->Name().c_str(), m_dir, m_name.c_str(), 0) == 0) {
        return Placed();
    }
    return errno == EEXIST ? ReplaceResult::Changed : Fail();
}

// Ours gets the old file's owner (where we may give it away) and permission bits.
bool GuardedReplacement::WriteOurs(unsigned mode) {
    m_ours.emplace(m_dir, m_name);
    if (m_ours->Fd() < 0) {
        return false;
    }
    if (m_read.state != FileSnapshot::State::Missing &&
        (m_read.owner != geteuid() || m_read.group != getegid()) &&
        fchown(m_ours->Fd(), m_read.owner, m_read.group) != 0) {
        // Only root may give a file away; otherwise it becomes ours, as any copy would.
    }
    struct stat info {};
    if (!m_ours->Fill(m_bytes, mode) || fstat(m_ours->Fd(), &info) != 0) {
        return false;
    }
    Describe(m_oursFile, info);
    return true;
}

// A file system without the swap: check, then rename, as close together as can be.
ReplaceResult GuardedReplacement::RenameIfUnchanged() {
    if (!IsStillTheFileRead(m_name)) {
        return ReplaceResult::Changed;
    }
    if (renameat(m_dir, m_ours->Name().c_str(), m_dir, m_name.c_str()) != 0) {
        return Fail();
    }
    m_ours->Placed();
    return Placed();
}

// The old file was saved into, or an editor waits to save into it. Whichever save is the
// newest ends up in place, and the caller makes its change again on it.
ReplaceResult GuardedReplacement::KeepTheNewestSave(bool editorWaitsForOld) {
    // A save by rename over ours, or one into ours (an editor waiting for it; without a
    // lease, ours no longer holding what we wrote), is newer than the old file: it stays.
    const bool editorWantsOurs =
        m_oursLeased ? LeaseBroken(m_ours->Fd()) && !editorWaitsForOld : !OursUntouched();
    if (!IsOurs(m_name) || editorWantsOurs) {
        return ReplaceResult::Changed;
    }
    // Else the old file, with the editor's save in it, goes back in place.
    const bool swappedBack = Exchange();
    // A save that came meanwhile is newer still: one by rename (the temporary name then
    // holds it, not ours), or one into ours just before the swap back.
    bool temporaryIsNewest = !swappedBack || !IsOurs(m_ours->Name());
    if (!temporaryIsNewest && !m_oursLeased) {
        std::this_thread::sleep_for(m_settle);
        temporaryIsNewest = !OursUntouched();
    }
    if (temporaryIsNewest) {
        renameat(m_dir, m_ours->Name().c_str(), m_dir, m_name.c_str());
    }
    return ReplaceResult::Changed;
}

} // namespace
} // namespace posix

ReplaceResult ReplaceIfUnchanged(const std::string& path, std::string_view bytes,
                                 const FileSnapshot& read, std::string* failure) {
    using State = FileSnapshot::State;
    if (read.state != State::Missing && read.state != State::Complete) {
        if (failure != nullptr) {
            *failure = "the file was not read whole";
        }
        return ReplaceResult::Failed;
    }
    const posix::PathParts parts = posix::SplitPath(path);
    const FileDescriptor dir(posix::OpenFolder(parts.folder));
    if (dir.Get() < 0) {
        if (failure != nullptr) {
            *failure = ErrnoText(errno);
        }
        return ReplaceResult::Failed;
    }
    ReplaceResult result = ReplaceResult::Failed;
    {
        posix::GuardedReplacement replacement(dir.Get(), parts.name, read, bytes, failure);
        result = replacement.Run();
    }
    if (result == ReplaceResult::Replaced) {
        // The rename is done; a folder that cannot be flushed leaves nothing to undo.
        posix::FlushToDisk(dir.Get());
    }
    return result;
}

} // namespace platform
