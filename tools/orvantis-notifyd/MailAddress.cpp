// SPDX-License-Identifier: MIT
#include "MailAddress.h"

#include "httpd/TextRules.h"

#include <algorithm>

namespace {

constexpr std::size_t MAX_ADDRESS = 254;
constexpr std::size_t MAX_LOCAL_PART = 64;
constexpr std::size_t MAX_LABEL = 63;
// The atom characters of an address, less '%' and '!': old relays still route
// "a%b@host" and "b!a@host" on to another host, which would bypass the allow-list.
constexpr std::string_view LOCAL_SYMBOLS = "#$&'*+-/=?^_`{|}~";

bool IsAsciiAlnum(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

bool IsLocalChar(char ch) {
    return IsAsciiAlnum(ch) || LOCAL_SYMBOLS.find(ch) != std::string_view::npos;
}

bool IsLocalPart(std::string_view text) {
    if (text.empty() || text.size() > MAX_LOCAL_PART || text.front() == '.' || text.back() == '.' ||
        text.find("..") != std::string_view::npos) {
        return false;
    }
    return std::all_of(text.begin(), text.end(),
                       [](char ch) { return ch == '.' || IsLocalChar(ch); });
}

bool IsLabel(std::string_view label) {
    if (label.empty() || label.size() > MAX_LABEL || label.front() == '-' || label.back() == '-') {
        return false;
    }
    return std::all_of(label.begin(), label.end(),
                       [](char ch) { return ch == '-' || IsAsciiAlnum(ch); });
}

} // namespace

bool IsMailDomain(std::string_view text) {
    if (text.empty() || text.size() > MAX_ADDRESS) {
        return false;
    }
    std::size_t pos = 0;
    while (true) {
        const std::size_t dot = text.find('.', pos);
        if (!IsLabel(text.substr(pos, dot - pos))) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        pos = dot + 1;
    }
}

bool IsMailAddress(std::string_view text) {
    const std::size_t at = text.rfind('@');
    if (text.size() > MAX_ADDRESS || at == std::string_view::npos) {
        return false;
    }
    return IsLocalPart(text.substr(0, at)) && IsMailDomain(text.substr(at + 1));
}

std::string MailDomainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return LowerAscii(at == std::string_view::npos ? std::string_view{} : address.substr(at + 1));
}

std::string NormalMailAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) {
        return std::string(address);
    }
    return std::string(address.substr(0, at + 1)) + MailDomainOf(address);
}

std::string CanonicalMailbox(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) {
        return LowerAscii(address);
    }
    // A local part that starts with '+' has no tag to remove.
    const std::size_t plus = address.find('+', 1);
    return LowerAscii(address.substr(0, std::min(plus, at))) + "@" + MailDomainOf(address);
}
