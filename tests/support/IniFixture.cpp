// SPDX-License-Identifier: MIT
#include "support/IniFixture.h"

#include "core/common/Globals.h"

#include <fstream>
#include <sstream>

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

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
