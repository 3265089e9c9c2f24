// SPDX-License-Identifier: MIT
#include "MailSpool.h"

#include "MailAddress.h"
#include "httpd/ServiceFiles.h"
#include "platform/AtomicFile.h"
#include "platform/common/ErrnoText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::string_view SUFFIX = ".mail";
// A mail being written: "." + its file name + "." + six characters.
constexpr std::string_view TEMPORARY_MARK = ".mail.";
// Every copy of the service that uses the folder holds this file's lock, shared.
constexpr const char* LOCK_FILE = ".lock";
constexpr std::string_view RECIPIENT_LINE = "rcpt ";
constexpr std::size_t TIME_DIGITS = 17;
constexpr std::size_t RANDOM_BYTES = 16;
constexpr std::size_t MAX_FILE_BYTES = 1024 * 1024; // a mail is under a kilobyte
// A temporary file this old belongs to no write in progress, in any copy.
constexpr std::time_t STALE_TEMPORARY_SECONDS = 3600;

// The folder, made private when missing, if it is a folder only this user can change.
MailSpool::Opened OpenFolder(const std::string& path, std::string& error) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = ErrnoText("cannot make " + path, errno);
        return MailSpool::Opened::Failed;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return MailSpool::Opened::Failed;
    }
    const std::string distrust = WhyNotTrusted(info, false);
    if (!distrust.empty()) {
        error = path + " is not used, since " + distrust;
        return MailSpool::Opened::Untrusted;
    }
    return MailSpool::Opened::Ok;
}

const char* KindOf(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    return S_ISDIR(mode) ? "a folder" : "not a regular file";
}

// "rcpt <address>", then the alert's line (which a file of an older version lacks), then
// the mail. A file that has the line must have a name as NewName() makes them: the name
// is the id that goes into headers and receipts.
bool ParseSpoolFile(std::string_view file, const std::string& bytes, SpooledMail& mail) {
    std::size_t lineEnd = bytes.find('\n');
    if (!bytes.starts_with(RECIPIENT_LINE) || lineEnd == std::string::npos) {
        return false;
    }
    mail.recipient = bytes.substr(RECIPIENT_LINE.size(), lineEnd - RECIPIENT_LINE.size());
    mail.alert.type.clear();
    mail.alert.id = std::string(file.substr(0, file.size() - SUFFIX.size()));
    mail.alert.email = mail.recipient;
    const std::size_t alertEnd = std::min(bytes.find('\n', lineEnd + 1), bytes.size());
    const std::string_view line =
        std::string_view(bytes).substr(lineEnd + 1, alertEnd - lineEnd - 1);
    if (Alert::IsLine(line)) {
        if (!Alert::FromLine(line, mail.alert) || !MailSpool::IsAlertId(mail.alert.id)) {
            return false;
        }
        lineEnd = alertEnd;
    }
    mail.message = bytes.substr(std::min(lineEnd + 1, bytes.size()));
    return IsMailAddress(mail.recipient) && !mail.message.empty();
}

} // namespace

MailSpool::MailSpool(std::string folder)
    : m_folder(std::move(folder)), m_receipts(m_folder + "/" + RECEIPTS_FOLDER) {}

MailSpool::~MailSpool() {
    if (m_lockFd >= 0) {
        close(m_lockFd);
    }
}

MailSpool::Opened MailSpool::Open(std::string& error) {
    for (const std::string& folder :
         {m_folder, m_folder + "/" + FAILED_FOLDER, m_receipts.Folder()}) {
        const Opened opened = OpenFolder(folder, error);
        if (opened != Opened::Ok) {
            return opened;
        }
    }
    bool alone = false;
    if (!Lock(alone, error)) {
        return Opened::Failed;
    }
    RemoveTemporaries(alone);
    return Opened::Ok;
}

// The exclusive lock first, to learn whether another copy uses the folder; then the
// shared one that every copy holds while it runs.
bool MailSpool::Lock(bool& alone, std::string& error) {
    m_lockFd = open(PathOf(LOCK_FILE).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0) {
        error = ErrnoText("cannot open " + PathOf(LOCK_FILE), errno);
        return false;
    }
    alone = flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
    // A copy starting meanwhile waits here only while the other one clears its leftovers.
    while (flock(m_lockFd, LOCK_SH) != 0) {
        if (errno != EINTR) {
            error = ErrnoText("cannot lock " + PathOf(LOCK_FILE), errno);
            return false;
        }
    }
    return true;
}

// A temporary file is a store in progress in some copy, or one that a kill cut short. With
// no other copy running, none is in progress.
void MailSpool::RemoveTemporaries(bool all) const {
    DIR* dir = opendir(m_folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        struct stat info {};
        const std::string path = PathOf(entry->d_name);
        const std::string_view name = entry->d_name;
        if (name.starts_with('.') && name.find(TEMPORARY_MARK) != std::string_view::npos &&
            lstat(path.c_str(), &info) == 0 &&
            (all || now - info.st_mtime > STALE_TEMPORARY_SECONDS)) {
            unlink(path.c_str());
        }
    }
    closedir(dir);
}

std::string MailSpool::NewName() {
    unsigned char random[RANDOM_BYTES];
    ssize_t got = -1;
    while ((got = getrandom(random, sizeof random, 0)) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof random)) {
        return {};
    }
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    char name[TIME_DIGITS + 2 + 2 * RANDOM_BYTES];
    int length = std::snprintf(name, sizeof name, "%017lld-", static_cast<long long>(now.count()));
    for (const unsigned char byte : random) {
        length += std::snprintf(name + length, sizeof name - static_cast<std::size_t>(length),
                                "%02x", byte);
    }
    return name;
}

bool MailSpool::IsAlertId(std::string_view text) {
    const auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    const auto isHex = [&isDigit](char ch) { return isDigit(ch) || (ch >= 'a' && ch <= 'f'); };
    return text.size() == TIME_DIGITS + 1 + 2 * RANDOM_BYTES && text[TIME_DIGITS] == '-' &&
           std::all_of(text.begin(), text.begin() + TIME_DIGITS, isDigit) &&
           std::all_of(text.begin() + TIME_DIGITS + 1, text.end(), isHex);
}

bool MailSpool::SyncFolder(const std::string& folder) const {
    return platform::FlushFolder(folder);
}

bool MailSpool::Store(const std::string& name, const SpooledMail& mail, std::string& error) {
    if (name.empty()) {
        error = "no random numbers for a name";
        return false;
    }
    const std::string path = PathOf(name + std::string(SUFFIX));
    const std::string bytes = std::string(RECIPIENT_LINE) + mail.recipient + "\n" +
                              (mail.alert.type.empty() ? "" : mail.alert.Line() + "\n") +
                              mail.message;
    std::string reason;
    if (!platform::ReplaceFile(path, bytes, 0600, &reason)) {
        error = "cannot write a spool file: " + reason;
        return false;
    }
    // Without this the rename could be lost in a power cut after the client heard 200.
    if (!SyncFolder(m_folder)) {
        error = ErrnoText("cannot flush the spool folder", errno);
        unlink(path.c_str());
        return false;
    }
    if (m_stored) {
        m_stored(name + std::string(SUFFIX));
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
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0) {
        return nullptr; // delivered by another copy meanwhile
    }
    if (!S_ISREG(entry.st_mode)) {
        SetAside(file, KindOf(entry.st_mode), error);
        return nullptr;
    }
    // Should it have turned into a link or a FIFO since, it is not followed or waited for.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    struct stat opened {};
    if (fd < 0 || fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr; // changed under our hands: looked at again at the next round
    }
    if (const std::string distrust = WhyNotTrusted(opened, false); !distrust.empty()) {
        close(fd);
        SetAside(file, "not used, since " + distrust, error);
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr; // another copy is sending it
    }
    // The holder before us may have sent and deleted it; then this is an orphan inode.
    struct stat current {};
    if (stat(path.c_str(), &current) != 0 || opened.st_ino != current.st_ino ||
        opened.st_dev != current.st_dev) {
        close(fd);
        return nullptr;
    }
    std::string bytes;
    SpooledMail mail;
    if (!ReadWhole(fd, MAX_FILE_BYTES, bytes) || !ParseSpoolFile(file, bytes, mail)) {
        const Claim broken(*this, file, fd, {});
        SetAside(file, "not a spooled mail", error);
        return nullptr;
    }
    if (mail.alert.type.empty()) {
        mail.alert.received = std::chrono::system_clock::from_time_t(opened.st_mtime);
    }
    return std::unique_ptr<Claim>(new Claim(*this, file, fd, std::move(mail)));
}

std::optional<SpooledMail> MailSpool::Peek(const std::string& id) const {
    const std::string file = id + std::string(SUFFIX);
    std::string bytes;
    std::string ignored;
    SpooledMail mail;
    if (!IsAlertId(id) ||
        ReadOwnFile(PathOf(file), MAX_FILE_BYTES, bytes, ignored) != OwnFile::Ok ||
        !ParseSpoolFile(file, bytes, mail) || mail.alert.type.empty()) {
        return std::nullopt;
    }
    return mail;
}

void MailSpool::Prune(std::time_t before) const {
    RemoveOlderThan(m_folder + "/" + FAILED_FOLDER, before);
    RemoveOlderThan(m_receipts.Folder(), before);
}

bool MailSpool::MoveToFailed(const std::string& file) const {
    if (rename(PathOf(file).c_str(), FailedPathOf(file).c_str()) != 0) {
        return false;
    }
    SyncFolder(m_folder + "/" + FAILED_FOLDER);
    SyncFolder(m_folder);
    return true;
}

void MailSpool::SetAside(const std::string& file, const std::string& why,
                         std::string& error) const {
    error = why + (MoveToFailed(file) ? ", moved into " : ", and it cannot be moved into ") +
            FAILED_FOLDER + "/";
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
    return m_spool.MoveToFailed(m_file);
}
