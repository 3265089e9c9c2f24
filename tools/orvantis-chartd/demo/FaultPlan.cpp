// SPDX-License-Identifier: MIT
#include "demo/FaultPlan.h"

#include <charconv>
#include <fstream>
#include <utility>

bool FaultMode::Parse(std::string_view text, FaultMode& mode) {
    constexpr std::string_view statusPrefix = "status:";
    if (text == "ok") {
        mode = {FaultKind::None, 0};
    } else if (text == "garbage") {
        mode = {FaultKind::Garbage, 0};
    } else if (text == "truncated") {
        mode = {FaultKind::Truncated, 0};
    } else if (text == "oversized") {
        mode = {FaultKind::Oversized, 0};
    } else if (text == "stall") {
        mode = {FaultKind::Stall, 0};
    } else if (text == "noanchor") {
        mode = {FaultKind::NoAnchor, 0};
    } else if (text.substr(0, statusPrefix.size()) == statusPrefix) {
        const std::string_view digits = text.substr(statusPrefix.size());
        int code = 0;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code);
        // Informational codes would leave the client waiting for a real answer.
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || code < 200 ||
            code > 599) {
            return false;
        }
        mode = {FaultKind::Status, code};
    } else {
        return false;
    }
    return true;
}

std::string FaultMode::Name() const {
    switch (kind) {
    case FaultKind::None:
        return "ok";
    case FaultKind::Status:
        return "status:" + std::to_string(status);
    case FaultKind::Garbage:
        return "garbage";
    case FaultKind::Truncated:
        return "truncated";
    case FaultKind::Oversized:
        return "oversized";
    case FaultKind::Stall:
        return "stall";
    case FaultKind::NoAnchor:
        return "noanchor";
    }
    return "ok";
}

bool FaultMode::ReadFile(const std::string& path, FaultMode& mode) {
    std::ifstream file(path, std::ios::binary);
    char text[64] = {};
    file.read(text, sizeof text - 1);
    std::string_view name(text, static_cast<std::size_t>(file.gcount()));
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = name.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return false;
    }
    name = name.substr(first, name.find_last_not_of(blanks) - first + 1);
    return Parse(name, mode);
}

FaultPlan::FaultPlan(std::vector<FaultMode> script, FaultMode fault, std::uint64_t faultAfter)
    : m_script(std::move(script)), m_fault(fault), m_faultAfter(faultAfter) {}

FaultMode FaultPlan::Next() {
    std::lock_guard lock(m_mutex);
    const std::uint64_t index = m_count++;
    if (index < m_script.size()) {
        return m_script[static_cast<std::size_t>(index)];
    }
    return index >= m_faultAfter ? m_fault : FaultMode{};
}
