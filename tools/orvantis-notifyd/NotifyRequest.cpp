// SPDX-License-Identifier: MIT
#include "NotifyRequest.h"

#include "MailAddress.h"
#include "httpd/TextRules.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

constexpr std::array<const char*, 5> KNOWN_FIELDS = {"type", "email", "last", "new", "chg"};
constexpr std::size_t MAX_DIGITS = 9;   // integer part: no gold price comes near a billion
constexpr std::size_t MAX_DECIMALS = 6; // the program sends two

// [+-]digits[.digits] and nothing else: no exponent, no "inf", no locale's comma.
bool IsDecimal(std::string_view text, bool signAllowed) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (!signAllowed) {
            return false;
        }
        text.remove_prefix(1);
    }
    const std::size_t point = std::min(text.find('.'), text.size());
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals = text.substr(std::min(point + 1, text.size()));
    const auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(),
                           [](char ch) { return ch >= '0' && ch <= '9'; });
    };
    return !whole.empty() && whole.size() <= MAX_DIGITS && digits(whole) &&
           (point == text.size() ||
            (!decimals.empty() && decimals.size() <= MAX_DECIMALS && digits(decimals)));
}

bool IsPositive(std::string_view text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value > 0.0;
}

const FormField* Find(const std::vector<FormField>& fields, std::string_view name) {
    const auto it = std::find_if(fields.begin(), fields.end(),
                                 [name](const FormField& field) { return field.name == name; });
    return it == fields.end() ? nullptr : &*it;
}

} // namespace

bool NotifyRequest::FromFields(const std::vector<FormField>& fields, NotifyRequest& request,
                               std::string& error) {
    for (const char* name : KNOWN_FIELDS) {
        if (std::count_if(fields.begin(), fields.end(),
                          [name](const FormField& field) { return field.name == name; }) > 1) {
            error = std::string("the field '") + name + "' sent twice";
            return false;
        }
    }
    const FormField* type = Find(fields, "type");
    if (type == nullptr || TrimBlanks(type->value) != "gold") {
        error = "the field 'type' is not gold";
        return false;
    }
    const FormField* email = Find(fields, "email");
    if (email == nullptr || !IsMailAddress(TrimBlanks(email->value))) {
        error = "the field 'email' is not one address";
        return false;
    }
    const FormField* price = Find(fields, "new");
    if (price == nullptr || !IsDecimal(TrimBlanks(price->value), false) ||
        !IsPositive(TrimBlanks(price->value))) {
        error = "the field 'new' is not a price";
        return false;
    }
    const FormField* last = Find(fields, "last");
    const std::string_view lastText = last == nullptr ? "" : TrimBlanks(last->value);
    if (!lastText.empty() && !IsDecimal(lastText, false)) {
        error = "the field 'last' is not a price";
        return false;
    }
    const FormField* change = Find(fields, "chg");
    const std::string_view changeText = change == nullptr ? "" : TrimBlanks(change->value);
    if (!changeText.empty() && !IsDecimal(changeText, true)) {
        error = "the field 'chg' is not a number";
        return false;
    }
    request.email = std::string(TrimBlanks(email->value));
    request.price = std::string(TrimBlanks(price->value));
    request.last = std::string(lastText);
    request.change = std::string(changeText);
    // The program's first notice after a fresh start has 0.00 as its last price and the
    // whole price as its change: there was no earlier notice, and no change to tell.
    if (!lastText.empty() && !IsPositive(lastText)) {
        request.last.clear();
        request.change.clear();
    }
    // A rise is sent without a sign; the subject shows it with one.
    if (!request.change.empty() && changeText.front() != '-' && changeText.front() != '+' &&
        IsPositive(changeText)) {
        request.change.insert(0, "+");
    }
    return true;
}
