// SPDX-License-Identifier: MIT
#pragma once

#include "httpd/MultipartForm.h"

#include <string>
#include <vector>

// The checked content of one e-mail request: a single recipient and plausible prices,
// safe to put into mail headers.
struct NotifyRequest {
    std::string email;
    std::string last;   // the price at the previous notification; empty when there was none
                        // (the program sends 0.00 then)
    std::string price;  // the new price
    std::string change; // with its sign ("+12.50", "-3.00", "0.00"); empty when not sent or
                        // when there was no previous notification

    // Checks the fields of a form: "type" = gold, one "email", a price in "new", and in
    // "last" and "chg" a number or nothing (both may be left out). Other fields are
    // ignored; a field sent twice is refused. False with a short reason in error.
    static bool FromFields(const std::vector<FormField>& fields, NotifyRequest& request,
                           std::string& error);
};
