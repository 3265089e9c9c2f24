// SPDX-License-Identifier: MIT
#include "core/common/Globals.h"

std::string g_strExePath;
std::string g_szExeDir;
std::string g_strAppDataDir;
std::string g_strIniFile;
std::string g_strRuntimeDir;
std::atomic<IPriceWindow*> g_pMainDlg{nullptr};
