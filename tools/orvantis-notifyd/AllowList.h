// SPDX-License-Identifier: MIT
#pragma once

#include <set>
#include <string>
#include <string_view>

// The recipients the service may mail: whole addresses and whole domains ("@example.com",
// which takes no sub-domain). Anything not listed is refused, so the service is no relay
// for strangers.
class AllowList final {
public:
    // Takes a comma-separated list; false with the entry that is neither an address nor
    // "@domain" in error. Entries add to those already taken.
    bool Parse(std::string_view text, std::string& error);
    bool Allows(std::string_view address) const;
    bool Empty() const { return m_addresses.empty() && m_domains.empty(); }

private:
    std::set<std::string> m_addresses; // NormalMailAddress()
    std::set<std::string> m_domains;   // lower case, without the '@'
};
