// SPDX-License-Identifier: MIT
#include "support/IniFixture.h"

#include "core/common/Globals.h"

std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

IniFixture::IniFixture() : m_iniPath(m_dir.File("gold.ini")), m_oldIni(g_strIniFile) {
    g_strIniFile = m_iniPath;
}

IniFixture::~IniFixture() {
    g_strIniFile = m_oldIni;
}
