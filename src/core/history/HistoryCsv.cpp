// SPDX-License-Identifier: MIT
#include "core/history/HistoryCsv.h"

namespace {
constexpr std::string_view NOTIFIED_MARK = "+notified";
constexpr std::string_view REASON_MARK = ": ";

std::string Quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// Splits one record off text at pos into its fields; false at a malformed record.
bool NextRecord(std::string_view text, std::size_t& pos, std::vector<std::string>& fields) {
    fields.assign(1, {});
    bool quoted = false;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (pos < text.size() && text[pos] == '"') {
                fields.back() += '"';
                ++pos;
            } else {
                quoted = false;
            }
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
            return true;
        } else if (c == '\n') {
            return true;
        } else if (c == '"' || c == '\r') {
            return false;
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

std::optional<HistoryReading> ParseRecord(const std::vector<std::string>& fields) {
    if (fields.size() != 3) {
        return std::nullopt;
    }
    HistoryReading row;
    const auto time = ParseUtcIso(fields[0]);
    if (!time || fields[0].size() != 20) {
        return std::nullopt;
    }
    row.timeUtc = *time;
    if (!fields[1].empty()) {
        row.cents = PriceTextToCents(fields[1]);
        if (!row.cents) {
            return std::nullopt;
        }
    }
    std::string_view state = fields[2];
    if (const auto colon = state.find(REASON_MARK); colon != std::string_view::npos) {
        row.reason = std::string(state.substr(colon + REASON_MARK.size()));
        state = state.substr(0, colon);
    }
    if (state.ends_with(NOTIFIED_MARK)) {
        row.notified = true;
        state.remove_suffix(NOTIFIED_MARK.size());
    }
    const auto name = HistoryStateFromName(state);
    if (!name) {
        return std::nullopt;
    }
    row.state = *name;
    return row;
}
} // namespace

std::string HistoryCsvHeader() {
    return "time_utc,price,state\r\n";
}

std::string HistoryCsvLine(const HistoryReading& reading) {
    std::string state = HistoryStateName(reading.state);
    if (reading.notified) {
        state += NOTIFIED_MARK;
    }
    if (!reading.reason.empty()) {
        state += REASON_MARK;
        state += reading.reason;
    }
    return FormatUtcIso(reading.timeUtc) + "," +
           (reading.cents ? CentsToPriceText(*reading.cents) : std::string()) + "," +
           Quoted(state) + "\r\n";
}

std::optional<std::vector<HistoryReading>> ParseHistoryCsv(std::string_view text) {
    const std::string_view header = "time_utc,price,state\r\n";
    if (!text.starts_with(header)) {
        return std::nullopt;
    }
    std::vector<HistoryReading> rows;
    std::vector<std::string> fields;
    std::size_t pos = header.size();
    while (pos < text.size()) {
        if (!NextRecord(text, pos, fields)) {
            return std::nullopt;
        }
        const auto row = ParseRecord(fields);
        if (!row) {
            return std::nullopt;
        }
        rows.push_back(*row);
    }
    return rows;
}
