// SPDX-License-Identifier: MIT
#include "core/settings/Settings.h"

#include "core/common/Globals.h"
#include "core/settings/ProfileFile.h"

#include <cstdio>
#include <mutex>

namespace {

// A threshold present in the file but holding no number leaves the parser's preset.
constexpr double PRICE_CHANGE_PRESET = 5.0;

constexpr const char* WRITE_PROBLEM_LEAD = "Settings cannot be saved: ";

// The reason the last file write failed, until one succeeds again.
struct WriteProblem {
    std::mutex mutex;
    std::string reason;
};

WriteProblem& Problem() {
    static WriteProblem problem;
    return problem;
}

void NoteWrite(bool written, const ProfileWriteReport& report) {
    if (written && report.unchanged) {
        return; // says nothing about whether the file can be written
    }
    if (!written && report.failure.empty()) {
        return; // a refused value, not a file that cannot be written
    }
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    if (written && !problem.reason.empty()) {
        std::fprintf(stderr, "orvantis: settings can be saved again (%s)\n", g_strIniFile.c_str());
        problem.reason.clear();
    } else if (!written && problem.reason.empty()) {
        std::fprintf(stderr, "orvantis: %s%s (%s)\n", WRITE_PROBLEM_LEAD, report.failure.c_str(),
                     g_strIniFile.c_str());
        problem.reason = report.failure;
    } else if (!written) {
        problem.reason = report.failure;
    }
}

} // namespace

Switch SwitchOf(const std::string& text) {
    if (text == "1") {
        return Switch::On;
    }
    return text == "0" ? Switch::Off : Switch::Neither;
}

double ThresholdOf(const std::string& text) {
    return ParseDouble(text, PRICE_CHANGE_PRESET);
}

std::string TextOf(const std::string& text) {
    return text;
}

std::string ReadSetting(const char* key, const std::string& defaultText) {
    return ReadSectionSetting(SETTINGS_SECTION, key, defaultText);
}

bool WriteSetting(const char* key, const std::string& value) {
    return WriteSectionSetting(SETTINGS_SECTION, key, value);
}

std::string ReadSectionSetting(const char* section, const char* key,
                               const std::string& defaultText) {
    return GetProfileString(g_strIniFile, section, key, defaultText);
}

bool WriteSectionSetting(const char* section, const char* key, const std::string& value) {
    ProfileWriteReport report;
    const bool written = WriteProfileString(g_strIniFile, section, key, value, &report);
    NoteWrite(written, report);
    return written;
}

std::string SettingsWriteProblem() {
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    return problem.reason;
}

std::string SettingsWriteProblemTip() {
    const std::string reason = SettingsWriteProblem();
    return reason.empty() ? std::string() : WRITE_PROBLEM_LEAD + reason;
}
