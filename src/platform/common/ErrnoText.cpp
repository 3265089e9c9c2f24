// SPDX-License-Identifier: MIT
#include "platform/common/ErrnoText.h"

#include <cstring>

std::string ErrnoText(int error) {
    return std::strerror(error);
}

std::string ErrnoText(std::string_view what, int error) {
    std::string text(what);
    text += ": ";
    return text + std::strerror(error);
}
