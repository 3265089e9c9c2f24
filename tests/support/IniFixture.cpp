// SPDX-License-Identifier: MIT
#include "support/IniFixture.h"

#include "core/common/Globals.h"

#include <fstream>
#include <sstream>

IniFixture::IniFixture() : m_iniPath(m_dir.File("gold.ini")), m_oldIni(g_strIniFile) {
    g_strIniFile = m_iniPath;
}

IniFixture::~IniFixture() {
    g_strIniFile = m_oldIni;
}

void IniFixture::WriteIni(const std::string& bytes) const {
    std::ofstream out(m_iniPath, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string IniFixture::ReadIni() const {
    std::ifstream in(m_iniPath, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
