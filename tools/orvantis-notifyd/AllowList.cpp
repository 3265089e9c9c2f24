// SPDX-License-Identifier: MIT
#include "AllowList.h"

#include "MailAddress.h"
#include "httpd/TextRules.h"

bool AllowList::Parse(std::string_view text, std::string& error) {
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        comma = comma == std::string_view::npos ? text.size() : comma;
        const std::string_view entry = TrimBlanks(text.substr(pos, comma - pos));
        pos = comma + 1;
        if (entry.starts_with('@') && IsMailDomain(entry.substr(1))) {
            m_domains.insert(MailDomainOf(entry));
        } else if (IsMailAddress(entry)) {
            m_addresses.insert(NormalMailAddress(entry));
        } else {
            error = "not an address or @domain: '" + std::string(entry) + "'";
            return false;
        }
    }
    return true;
}

bool AllowList::Allows(std::string_view address) const {
    return IsMailAddress(address) && (m_addresses.contains(NormalMailAddress(address)) ||
                                      m_domains.contains(MailDomainOf(address)));
}
