// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The one shape of address the service mails: local@domain in plain ASCII, nothing around
// it. No display name, no quoted local part, no second address, no control character.
bool IsMailAddress(std::string_view text);

// A host name of letters, digits and hyphens in dot-separated labels.
bool IsMailDomain(std::string_view text);

// The address with its domain in lower case: domains are compared without regard to case,
// local parts exactly as written.
std::string NormalMailAddress(std::string_view address);

// The mailbox an address reaches, for counting what one person gets: all in lower case
// and without a "+tag" after the local part, as most mail systems deliver
// "Alice+gold@Example.com" to alice@example.com.
std::string CanonicalMailbox(std::string_view address);

// The lower-case domain of an address (the text after its '@').
std::string MailDomainOf(std::string_view address);
