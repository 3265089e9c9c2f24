// SPDX-License-Identifier: MIT
#pragma once

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

inline const std::string UTF8_MARK = "\xEF\xBB\xBF";

// A byte-order mark and the text as UTF-16LE, as Windows tools write it.
std::string Utf16Le(std::u16string_view text);

// Names each instance of a parameterised test after its case's `name`.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& instance) const {
        return instance.param.name;
    }
};

// A fresh settings folder for one test: points g_strIniFile at gold.ini inside it.
class IniFixture {
public:
    IniFixture();
    ~IniFixture();
    IniFixture(const IniFixture&) = delete;
    IniFixture& operator=(const IniFixture&) = delete;

    // Replaces gold.ini with exactly these bytes.
    void WriteIni(const std::string& bytes) const { WriteFileBytes(m_iniPath, bytes); }
    // The bytes of gold.ini, empty when it does not exist.
    std::string ReadIni() const { return ReadFileBytes(m_iniPath); }
    const std::string& IniPath() const { return m_iniPath; }

private:
    TempDir m_dir;
    std::string m_iniPath;
    std::string m_oldIni;
};
