// SPDX-License-Identifier: MIT
#include "MailSpool.h"

#include "MailAddress.h"
#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr std::string_view SUFFIX = ".mail";
// A mail being written: "." + its file name + "." + six characters.
constexpr std::string_view TEMPORARY_MARK = ".mail.";
constexpr std::string_view RECIPIENT_LINE = "rcpt ";
constexpr std::size_t MAX_HOST_IN_NAME = 32;
constexpr off_t MAX_FILE_BYTES = 1024 * 1024; // a mail is under a kilobyte
// A temporary file this old belongs to no write in progress, in any copy.
constexpr std::time_t STALE_TEMPORARY_SECONDS = 3600;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Repeats a read of size bytes until all have moved; step(done) moves some of the rest.
// False on an error or an early end of the file.
template <typename Step> bool MoveAll(std::size_t size, Step step) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::string& bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size > MAX_FILE_BYTES) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    return MoveAll(bytes.size(), [&](std::size_t done) {
        return pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    });
}

std::string HostForNames() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "host";
    }
    std::string name(host, std::min(std::strlen(host), MAX_HOST_IN_NAME));
    std::replace_if(
        name.begin(), name.end(),
        [](char ch) {
            return !((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                     (ch >= '0' && ch <= '9'));
        },
        '_');
    return name;
}

bool MakeFolder(const std::string& path, std::string& error) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = ErrnoText(("cannot make " + path).c_str());
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

bool ParseSpoolFile(const std::string& bytes, SpooledMail& mail) {
    const std::size_t lineEnd = bytes.find('\n');
    if (!bytes.starts_with(RECIPIENT_LINE) || lineEnd == std::string::npos) {
        return false;
    }
    mail.recipient = bytes.substr(RECIPIENT_LINE.size(), lineEnd - RECIPIENT_LINE.size());
    mail.message = bytes.substr(lineEnd + 1);
    return IsMailAddress(mail.recipient) && !mail.message.empty();
}

} // namespace

MailSpool::MailSpool(std::string folder) : m_folder(std::move(folder)), m_host(HostForNames()) {}

bool MailSpool::Open(std::string& error) {
    if (!MakeFolder(m_folder, error) || !MakeFolder(m_folder + "/" + FAILED_FOLDER, error)) {
        return false;
    }
    DIR* dir = opendir(m_folder.c_str());
    if (dir == nullptr) {
        error = ErrnoText(("cannot read " + m_folder).c_str());
        return false;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        const std::string path = PathOf(entry->d_name);
        const std::string_view name = entry->d_name;
        if (name.starts_with('.') && name.find(TEMPORARY_MARK) != std::string_view::npos &&
            stat(path.c_str(), &info) == 0 && now - info.st_mtime > STALE_TEMPORARY_SECONDS) {
            unlink(path.c_str());
        }
    }
    closedir(dir);
    return true;
}

std::string MailSpool::NewName() {
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    char name[128];
    std::snprintf(name, sizeof name, "%017lld-%s-%ld-%06u", static_cast<long long>(now.count()),
                  m_host.c_str(), static_cast<long>(getpid()), m_counter.fetch_add(1) % 1000000u);
    return name;
}

bool MailSpool::SyncFolder(const std::string& folder) const {
    return platform::FlushFolder(folder);
}

bool MailSpool::Store(const std::string& name, const SpooledMail& mail, std::string& error) {
    const std::string path = PathOf(name + std::string(SUFFIX));
    const std::string bytes = std::string(RECIPIENT_LINE) + mail.recipient + "\n" + mail.message;
    std::string reason;
    if (!platform::ReplaceFile(path, bytes, 0600, &reason)) {
        error = "cannot write a spool file: " + reason;
        return false;
    }
    // Without this the rename could be lost in a power cut after the client heard 200.
    if (!SyncFolder(m_folder)) {
        error = ErrnoText("cannot flush the spool folder");
        unlink(path.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> MailSpool::Waiting() const {
    std::vector<std::string> files;
    DIR* dir = opendir(m_folder.c_str());
    if (dir == nullptr) {
        return files;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.ends_with(SUFFIX) && !name.starts_with('.')) {
            files.emplace_back(name);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

std::unique_ptr<MailSpool::Claim> MailSpool::Take(const std::string& file,
                                                  std::string& error) const {
    error.clear();
    const std::string path = PathOf(file);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return nullptr; // delivered by another copy meanwhile
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr; // another copy is sending it
    }
    // The holder before us may have sent and deleted it; then this is an orphan inode.
    struct stat opened {};
    struct stat current {};
    if (fstat(fd, &opened) != 0 || stat(path.c_str(), &current) != 0 ||
        opened.st_ino != current.st_ino || opened.st_dev != current.st_dev) {
        close(fd);
        return nullptr;
    }
    std::string bytes;
    SpooledMail mail;
    if (!ReadAll(fd, bytes) || !ParseSpoolFile(bytes, mail)) {
        Claim broken(*this, file, fd, {});
        error = broken.SetAside() ? "not a spooled mail, moved into " + std::string(FAILED_FOLDER)
                                  : "not a spooled mail, and it cannot be moved";
        return nullptr;
    }
    return std::unique_ptr<Claim>(new Claim(*this, file, fd, std::move(mail)));
}

std::string MailSpool::FailedPathOf(const std::string& file) const {
    return m_folder + "/" + FAILED_FOLDER + "/" + file;
}

MailSpool::Claim::Claim(const MailSpool& spool, std::string file, int fd, SpooledMail mail)
    : m_spool(spool), m_file(std::move(file)), m_fd(fd), m_mail(std::move(mail)) {}

MailSpool::Claim::~Claim() {
    close(m_fd); // drops the lock
}

// The folder is not flushed here: a deletion lost in a power cut only sends that mail
// again, and the flush would cost more than the delivery itself.
bool MailSpool::Claim::Remove() {
    return unlink(m_spool.PathOf(m_file).c_str()) == 0;
}

bool MailSpool::Claim::SetAside() {
    if (rename(m_spool.PathOf(m_file).c_str(), m_spool.FailedPathOf(m_file).c_str()) != 0) {
        return false;
    }
    m_spool.SyncFolder(m_spool.Folder() + "/" + FAILED_FOLDER);
    m_spool.SyncFolder(m_spool.Folder());
    return true;
}
