// SPDX-License-Identifier: MIT
#include "FileTrust.h"

#include <unistd.h>

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
