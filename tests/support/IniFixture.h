// SPDX-License-Identifier: MIT
#pragma once

#include "support/TempDir.h"

#include <string>

// A fresh settings folder for one test: points g_strIniFile at gold.ini inside it.
class IniFixture {
public:
    IniFixture();
    ~IniFixture();
    IniFixture(const IniFixture&) = delete;
    IniFixture& operator=(const IniFixture&) = delete;

    // Replaces gold.ini with exactly these bytes.
    void WriteIni(const std::string& bytes) const;
    // The bytes of gold.ini, empty when it does not exist.
    std::string ReadIni() const;
    const std::string& IniPath() const { return m_iniPath; }

private:
    TempDir m_dir;
    std::string m_iniPath;
    std::string m_oldIni;
};
