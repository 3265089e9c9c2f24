// SPDX-License-Identifier: MIT
#pragma once

#include "Alert.h"
#include "ReceiptFolder.h"

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One accepted alert: the envelope recipient, the whole mail, and what the other channels
// carry.
struct SpooledMail {
    std::string recipient;
    std::string message;
    Alert alert; // its id and received time from the file; its type empty in a file of an
                 // older version, which holds the mail alone
};

// The folder of alerts waiting for delivery, one file each, and their receipts. A file appears
// whole or not at all, and several copies of the service may share the folder: a sender takes a
// file under an exclusive lock, which the system drops when the process ends, so a mail is never
// sent by two copies at once and never stays taken by a dead one. Nothing in the folder is trusted
// blindly: it must be this user's and nobody else's to write, and a file in it is read only when it
// is a regular file of this user's.
class MailSpool final {
public:
    // Where alerts that every channel refused are kept for the administrator.
    static constexpr const char* FAILED_FOLDER = "failed";
    static constexpr const char* RECEIPTS_FOLDER = "receipts";

    // One mail taken for delivery; the lock is held until this is destroyed.
    class Claim final {
    public:
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;

        const std::string& File() const { return m_file; }
        const SpooledMail& Mail() const { return m_mail; }
        // Deletes the file; only once the relay has accepted the mail. A power cut right
        // after may bring it back (the mail is then sent again, never lost).
        bool Remove();
        // Moves the file into FAILED_FOLDER, out of the sender's way.
        bool SetAside();

    private:
        friend class MailSpool;
        Claim(const MailSpool& spool, std::string file, int fd, SpooledMail mail);
        const MailSpool& m_spool;
        std::string m_file;
        int m_fd;
        SpooledMail m_mail;
    };

    enum class Opened {
        Ok,
        Untrusted, // another user owns the folder (or one below it), or others can write it
        Failed,    // it cannot be made or read
    };

    explicit MailSpool(std::string folder);
    ~MailSpool();
    MailSpool(const MailSpool&) = delete;
    MailSpool& operator=(const MailSpool&) = delete;

    // Makes the folder, FAILED_FOLDER and RECEIPTS_FOLDER when missing, checks that they
    // are this user's alone, and takes the folder's shared lock, held until this is
    // destroyed. Removes the temporary files of stores that a kill cut short: all of them
    // when no other copy of the service holds the lock, else those older than an hour.
    // The reason in error unless Ok.
    Opened Open(std::string& error);
    const std::string& Folder() const { return m_folder; }

    // A name no other alert of any copy sharing the folder gets, which nobody can guess:
    // the time in microseconds, so names sort by time, '-' and 128 random bits in hex.
    // It is the alert's id. Empty when the system has no randomness to give.
    static std::string NewName();
    // Whether a text is such a name: safe in a path and a header.
    static bool IsAlertId(std::string_view text);
    // Keeps the alert as <name>.mail: written under a temporary name, flushed to the disk,
    // renamed, and the folder flushed too. False with the reason, and nothing left behind,
    // when it cannot be kept whole (a full disk, a folder gone or read-only).
    bool Store(const std::string& name, const SpooledMail& mail, std::string& error);
    // Called with the file's name after each alert Store() kept; set before any store.
    void OnStored(std::function<void(const std::string& file)> stored) {
        m_stored = std::move(stored);
    }
    // The files waiting, oldest first.
    std::vector<std::string> Waiting() const;
    // Locks and reads one waiting file, without following a link and without blocking on
    // a FIFO. Null when another copy holds it or it is gone; anything that is not a
    // spooled mail in a regular file of this user's, that nobody else can write, is moved
    // into FAILED_FOLDER, with the reason in error.
    std::unique_ptr<Claim> Take(const std::string& file, std::string& error) const;
    // The waiting alert of that id, read without a lock; nullopt when there is none.
    std::optional<SpooledMail> Peek(const std::string& id) const;
    const ReceiptFolder& Receipts() const { return m_receipts; }
    // Removes receipts, and alerts set aside in FAILED_FOLDER, last changed before then.
    void Prune(std::time_t before) const;

private:
    std::string PathOf(const std::string& file) const { return m_folder + "/" + file; }
    std::string FailedPathOf(const std::string& file) const;
    bool SyncFolder(const std::string& folder) const;
    bool Lock(bool& alone, std::string& error);
    void RemoveTemporaries(bool all) const;
    bool MoveToFailed(const std::string& file) const;
    // Moves a file that is no spooled mail out of the way; the reason it gets in error.
    void SetAside(const std::string& file, const std::string& why, std::string& error) const;

    std::string m_folder;
    ReceiptFolder m_receipts;
    int m_lockFd = -1;
    std::function<void(const std::string& file)> m_stored;
};
