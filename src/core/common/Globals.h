// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <string>

// The program's folder under each of the user's base folders (settings, cache):
// <base>/Tamberlo/Orvantis.
inline constexpr const char* APP_FOLDER_VENDOR = "Tamberlo";
inline constexpr const char* APP_FOLDER_NAME = "Orvantis";

// Process-wide paths, fixed once by start-up before any worker thread exists and never
// changed afterwards (tests set them before they start the code under test).
// Texts are UTF-8.
extern std::string g_strExePath;    // the program file's full path
extern std::string g_szExeDir;      // the program's folder, without the trailing slash
extern std::string g_strAppDataDir; // $XDG_CONFIG_HOME/Tamberlo/Orvantis
extern std::string g_strIniFile;    // g_strAppDataDir + "/gold.ini"
// The private folder of the single-instance lock and the hand-over socket; empty when
// the program runs without them (tests).
extern std::string g_strRuntimeDir;

struct PollStatusSnapshot;

// wParam of WM_PRICE_UPDATE.
constexpr int PRICE_UPDATE_NOTIFY = 0;
constexpr int PRICE_UPDATE_REFRESH = 1;

// What WM_PRICE_UPDATE carries: the prices the tracker decided, as the settings file
// stores them, whether or not the file could take them.
struct PriceUpdate {
    int code = PRICE_UPDATE_REFRESH; // the message's wParam
    std::string tipLastPrice;        // the reference a notification moved away from
    std::string lastPrice;           // the reference
    std::string currentPrice;        // the price read
};

// What the polling thread may do with the main window: post it a price message.
// The main window implements it; posting is thread-safe and never blocks.
class IPriceWindow {
public:
    virtual ~IPriceWindow() = default;
    virtual void PostPriceUpdate(const PriceUpdate& update) = 0;
    // Queues what the window is to show of the polls (the stale state); a window that
    // shows none of it ignores it.
    virtual void PostStatusUpdate(const PollStatusSnapshot& /*status*/) {}
};

// The one main window. Set by its constructor and cleared before it is torn down, so a
// worker that sees it non-null may post to it (the main window also stops the polling
// thread before it goes away).
extern std::atomic<IPriceWindow*> g_pMainDlg;

// Private window messages of the program, numbered from WM_APP.
constexpr int WM_APP = 0x8000;
constexpr int WM_PRICE_UPDATE = WM_APP + 2;
constexpr int WM_TRAY_GETMAINWND = WM_APP + 3;
constexpr int WM_TRAY_NOTIFY = WM_APP + 4;
