// SPDX-License-Identifier: MIT
#include "ServiceFiles.h"

#include "platform/common/ErrnoText.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

std::string WhyNotTrusted(const struct stat& info, bool rootMayOwn) {
    const uid_t self = geteuid();
    if (info.st_uid != self && !(rootMayOwn && info.st_uid == 0)) {
        return "it belongs to user " + std::to_string(info.st_uid) +
               ", not to this service's user " + std::to_string(self);
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "others can write it (mode " + ModeText(info.st_mode) + "; chmod go-w)";
    }
    return {};
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool ReadWhole(int fd, std::size_t maxBytes, std::string& bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size < 0 ||
        static_cast<std::size_t>(info.st_size) > maxBytes) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false; // an error, or the file shrank meanwhile
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

OwnFile ReadOwnFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                    std::string& why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = ErrnoText(errno);
        return errno == ENOENT ? OwnFile::Missing : OwnFile::Unusable;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "not a regular file";
    } else if (const std::string distrust = WhyNotTrusted(info, false); !distrust.empty()) {
        why = "not used, since " + distrust;
    } else if (!ReadWhole(fd, maxBytes, bytes)) {
        why = "unreadable or larger than " + std::to_string(maxBytes) + " bytes";
    } else {
        why.clear();
    }
    close(fd);
    return why.empty() ? OwnFile::Ok : OwnFile::Unusable;
}

void RemoveOlderThan(const std::string& folder, std::time_t before) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && info.st_mtime < before) {
            unlink(path.c_str());
        }
    }
    closedir(dir);
}
