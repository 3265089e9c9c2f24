// SPDX-License-Identifier: MIT
#include "MultipartForm.h"

#include "TextRules.h"

#include <algorithm>
#include <utility>

namespace {

// Longer than the 70 characters a boundary may have, for clients that stretch it.
constexpr std::size_t MAX_BOUNDARY = 200;
constexpr std::size_t MAX_PART_HEADERS = 16;

using Parameters = std::vector<std::pair<std::string, std::string>>;

// "type/subtype; a=b; c="d"": the lower-case value before the first ';' and the
// parameters with lower-case names. False when a parameter is not name=token or
// name=quoted-string.
bool SplitHeaderValue(std::string_view text, std::string& type, Parameters& parameters) {
    std::size_t pos = std::min(text.find(';'), text.size());
    type = LowerAscii(TrimBlanks(text.substr(0, pos)));
    while (pos < text.size()) {
        ++pos; // the ';'
        const std::size_t equals = text.find('=', pos);
        if (equals == std::string_view::npos) {
            return TrimBlanks(text.substr(pos)).empty(); // a trailing ';'
        }
        const std::string name = LowerAscii(TrimBlanks(text.substr(pos, equals - pos)));
        pos = text.find_first_not_of(" \t", equals + 1);
        std::string value;
        if (pos != std::string_view::npos && text[pos] == '"') {
            for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
                if (text[pos] == '\\' && pos + 1 < text.size()) {
                    ++pos;
                }
                value += text[pos];
            }
            if (pos >= text.size()) {
                return false; // no closing quote
            }
            pos = std::min(text.find(';', pos), text.size());
        } else {
            pos = pos == std::string_view::npos ? text.size() : pos;
            const std::size_t end = std::min(text.find(';', pos), text.size());
            value = std::string(TrimBlanks(text.substr(pos, end - pos)));
            pos = end;
        }
        if (name.empty()) {
            return false;
        }
        parameters.emplace_back(name, std::move(value));
    }
    return true;
}

const std::string* Find(const Parameters& parameters, std::string_view name) {
    for (const auto& [key, value] : parameters) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

// After "--boundary" at pos: the position of the next part's head, npos for the closing
// delimiter, or nullopt when the line goes on with something else (then it is content).
std::optional<std::size_t> AfterDelimiter(std::string_view body, std::size_t pos) {
    if (body.substr(pos, 2) == "--") {
        return std::string_view::npos;
    }
    pos = std::min(body.find_first_not_of(" \t", pos), body.size()); // transport padding
    if (body.substr(pos, 2) == "\r\n") {
        return pos + 2;
    }
    if (body.substr(pos, 1) == "\n") {
        return pos + 1;
    }
    return std::nullopt;
}

// The next delimiter line at or after from: its start (the line's first byte) and what
// follows it. start is npos when there is none.
struct Delimiter {
    std::size_t start = std::string_view::npos;
    std::size_t next = std::string_view::npos; // npos: the closing one
};

Delimiter FindDelimiter(std::string_view body, std::size_t from, std::string_view delimiter) {
    for (std::size_t at = body.find(delimiter, from); at != std::string_view::npos;
         at = body.find(delimiter, at + 1)) {
        if (at != 0 && body[at - 1] != '\n') {
            continue;
        }
        if (const auto next = AfterDelimiter(body, at + delimiter.size())) {
            return {at, *next};
        }
    }
    return {};
}

// Reads the head of a part from pos to its empty line; the field's name, and pos moved
// to the first content byte. False with the reason in error.
bool ReadPartHead(std::string_view body, std::size_t& pos, std::string& name, std::string& error) {
    std::vector<std::pair<std::string, std::string>> headers;
    while (true) {
        const std::size_t lineEnd = body.find('\n', pos);
        if (lineEnd == std::string_view::npos) {
            error = "a part head without its end";
            return false;
        }
        std::string_view line = body.substr(pos, lineEnd - pos);
        pos = lineEnd + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
            headers.back().second += " " + std::string(TrimBlanks(line)); // a folded line
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || headers.size() == MAX_PART_HEADERS) {
            error = "a bad part header";
            return false;
        }
        headers.emplace_back(LowerAscii(TrimBlanks(line.substr(0, colon))),
                             std::string(TrimBlanks(line.substr(colon + 1))));
    }
    const std::string* disposition = nullptr;
    for (const auto& [header, value] : headers) {
        if (header == "content-disposition") {
            disposition = &value;
        } else if (header == "content-transfer-encoding") {
            // Form fields are sent as they are; an encoded one would be read as garbage.
            const std::string encoding = LowerAscii(value);
            if (encoding != "7bit" && encoding != "8bit" && encoding != "binary") {
                error = "an encoded part";
                return false;
            }
        }
    }
    std::string type;
    Parameters parameters;
    if (disposition == nullptr || !SplitHeaderValue(*disposition, type, parameters) ||
        type != "form-data" || Find(parameters, "name") == nullptr) {
        error = "a part without a form-data name";
        return false;
    }
    name = *Find(parameters, "name");
    return true;
}

} // namespace

std::optional<std::string> MultipartForm::Boundary(std::string_view contentType) {
    std::string type;
    Parameters parameters;
    if (!SplitHeaderValue(contentType, type, parameters) || type != "multipart/form-data") {
        return std::nullopt;
    }
    const std::string* boundary = Find(parameters, "boundary");
    if (boundary == nullptr || boundary->empty() || boundary->size() > MAX_BOUNDARY ||
        std::any_of(boundary->begin(), boundary->end(),
                    [](char ch) { return ch < ' ' || ch > '~'; })) {
        return std::nullopt;
    }
    return *boundary;
}

bool MultipartForm::Parse(std::string_view body, std::string_view boundary,
                          std::vector<FormField>& fields, std::string& error) {
    fields.clear();
    const std::string delimiter = "--" + std::string(boundary);
    Delimiter at = FindDelimiter(body, 0, delimiter); // what comes before is a preamble
    if (at.start == std::string_view::npos) {
        error = "no boundary line";
        return false;
    }
    while (at.next != std::string_view::npos) {
        if (fields.size() == MAX_FIELDS) {
            error = "too many parts";
            return false;
        }
        std::size_t pos = at.next;
        FormField field;
        if (!ReadPartHead(body, pos, field.name, error)) {
            return false;
        }
        // The line end before the next delimiter belongs to the delimiter.
        at = FindDelimiter(body, pos, delimiter);
        if (at.start == std::string_view::npos || at.start == pos) {
            error = "a part without its closing boundary";
            return false;
        }
        std::size_t end = at.start - 1;
        if (end > pos && body[end - 1] == '\r') {
            --end;
        }
        field.value = std::string(body.substr(pos, end - pos));
        fields.push_back(std::move(field));
    }
    return true;
}
