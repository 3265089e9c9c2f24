// SPDX-License-Identifier: MIT
#include "core/app/InstanceProtocol.h"
#include "core/common/Globals.h"
#include "gui/desktop/CTray.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

namespace {

// The main window as the icon sees it.
class FakeMainWindow final : public CSystemTray::CallBack, public IPriceWindow {
public:
    QWidget* TrayMainWindow() override { return &m_window; }
    bool IsHeldByModal() const override { return m_modal; }
    void OnCommand(int id) override { m_commands.push_back(id); }
    void PostPriceUpdate(int /*wParam*/) override {}

    QWidget m_window;
    bool m_modal = false;
    std::vector<int> m_commands;
};

class TrayTest : public ::testing::Test {
protected:
    TrayTest() { g_pMainDlg.store(&m_main); }
    ~TrayTest() override { g_pMainDlg.store(nullptr); }

    FakeMainWindow m_main;
    CTray m_tray{m_main};
};

enum class Window { Shown, Hidden, Minimised };

struct ClickCase {
    const char* name;
    Window before;
    bool modal;
    std::vector<int> messages; // what the icon reports, in order
    bool visibleAfter;
    int lastResult;
};

class TrayClickTest : public TrayTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(TrayClickTest, ALeftClickTogglesTheMainWindowUnlessADialogHoldsIt) {
    const ClickCase& c = GetParam();
    m_main.m_modal = c.modal;
    if (c.before == Window::Minimised) {
        m_main.m_window.showMinimized();
    } else if (c.before == Window::Shown) {
        m_main.m_window.show();
    }
    int result = -1;
    for (const int message : c.messages) {
        result = m_tray.OnIconNotify(CSystemTray::IDR_TRAY, message);
    }
    EXPECT_EQ(m_main.m_window.isVisible(), c.visibleAfter);
    if (c.visibleAfter) {
        EXPECT_FALSE(m_main.m_window.isMinimized());
    }
    EXPECT_EQ(result, c.lastResult);
    EXPECT_TRUE(m_main.m_commands.empty());
}

constexpr int UP = CSystemTray::WM_LBUTTONUP;
constexpr int DBL = CSystemTray::WM_LBUTTONDBLCLK;

INSTANTIATE_TEST_SUITE_P(
    Clicks, TrayClickTest,
    ::testing::Values(
        ClickCase{"HidesAShownWindow", Window::Shown, false, {UP}, false, 1},
        ClickCase{"RestoresAHiddenWindow", Window::Hidden, false, {UP}, true, 1},
        ClickCase{"HidesAMinimisedWindow", Window::Minimised, false, {UP}, false, 1},
        ClickCase{"TwoClicksGiveItBack", Window::Shown, false, {UP, UP}, true, 1},
        ClickCase{"DoubleClickCountsOnlyItsClicks", Window::Shown, false, {UP, DBL, UP}, true, 1},
        ClickCase{"TheDoubleClickItselfDoesNothing", Window::Shown, false, {DBL}, true, 0},
        ClickCase{"ModalOnlyShowsAShownWindow", Window::Shown, true, {UP}, true, 1},
        ClickCase{"ModalShowsAHiddenWindow", Window::Hidden, true, {UP}, true, 1},
        ClickCase{"ModalUnminimises", Window::Minimised, true, {UP}, true, 1},
        ClickCase{"MiddleButtonDoesNothing", Window::Shown, false, {0x0208}, true, 1},
        ClickCase{"HighBitsOfTheMessageIgnored", Window::Shown, false, {0x10000 | UP}, false, 1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(TrayTest, IgnoresOtherIconsAndActsOnlyWhileTheMainWindowLives) {
    m_main.m_window.show();
    EXPECT_EQ(m_tray.OnIconNotify(CSystemTray::IDR_TRAY + 1, UP), 0);
    EXPECT_TRUE(m_main.m_window.isVisible());
    g_pMainDlg.store(nullptr);
    EXPECT_EQ(m_tray.OnIconNotify(CSystemTray::IDR_TRAY, UP), 1);
    EXPECT_TRUE(m_main.m_window.isVisible());
}

TEST_F(TrayTest, TheMenuOffersOpenThenExitAndSendsTheirCommands) {
    const QList<QAction*> actions = m_tray.Menu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Open Main Window"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Exit(&X)"));
    actions[1]->trigger();
    actions[0]->trigger();
    EXPECT_EQ(m_main.m_commands, (std::vector<int>{ID_TRAY_EXIT, ID_TRAY_OPEN}));
}

TEST_F(TrayTest, ARightClickOpensTheMenuAtTheCursor) {
    EXPECT_EQ(m_tray.OnIconNotify(CSystemTray::IDR_TRAY, CSystemTray::WM_RBUTTONUP), 1);
    EXPECT_TRUE(m_tray.Menu()->isVisible());
    m_tray.Menu()->hide();
}

// The tray's side, as a desktop would answer.
class ScriptedTray final : public CSystemTray {
public:
    using CSystemTray::CSystemTray;
    using CSystemTray::DeleteIcon;

    bool m_host = false;
    bool m_addWorks = true;
    int m_adds = 0;

protected:
    bool HostPresent() const override { return m_host; }
    bool ShellAddIcon() override {
        ++m_adds;
        return m_host && m_addWorks;
    }
    bool ShellDeleteIcon() override { return true; }
};

struct Flags {
    bool hidden;
    bool deleted;
    bool operator==(const Flags&) const = default;
};

enum class Step { Create, HostAppears, HostGoes, AddFails, Delete };

struct FlagCase {
    const char* name;
    std::vector<Step> steps;
    Flags after;
    int adds;
    bool shown;
};

class TrayFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(TrayFlagTest, AddsTheIconAgainOnlyWhenItIsMeantToBeShown) {
    FakeMainWindow main;
    ScriptedTray tray(main);
    EXPECT_EQ((Flags{tray.m_bIconHidden, tray.m_bIconDeleted}), (Flags{true, true}));
    for (const Step step : GetParam().steps) {
        switch (step) {
        case Step::Create:
            tray.Create(QIcon());
            EXPECT_EQ(tray.m_uAddFlags, 7u);
            break;
        case Step::HostAppears:
            tray.m_host = true;
            tray.OnShellRestart();
            break;
        case Step::HostGoes:
            tray.m_host = false;
            break;
        case Step::AddFails:
            tray.m_addWorks = false;
            break;
        case Step::Delete:
            tray.DeleteIcon();
            break;
        }
    }
    EXPECT_EQ((Flags{tray.m_bIconHidden, tray.m_bIconDeleted}), GetParam().after);
    EXPECT_EQ(tray.m_adds, GetParam().adds);
    EXPECT_EQ(tray.IsIconShown(), GetParam().shown);
}

using S = Step;
INSTANTIATE_TEST_SUITE_P(
    States, TrayFlagTest,
    ::testing::Values(
        FlagCase{"NeverCreated", {S::HostAppears}, {true, true}, 0, false},
        FlagCase{"ShownWithAHost", {S::HostAppears, S::Create}, {false, false}, 1, true},
        FlagCase{"HostComesBackAndGetsItAgain",
                 {S::HostAppears, S::Create, S::HostGoes, S::HostAppears},
                 {false, false},
                 2,
                 true},
        FlagCase{"HostGoneMeansNotShown",
                 {S::HostAppears, S::Create, S::HostGoes},
                 {false, false},
                 1,
                 false},
        FlagCase{"WaitsForAHostThatComesLater", {S::Create}, {false, true}, 1, false},
        FlagCase{"TheLateHostGetsIt", {S::Create, S::HostAppears}, {false, false}, 2, true},
        FlagCase{"AddRefusedWithAHost",
                 {S::HostAppears, S::AddFails, S::Create, S::HostAppears},
                 {true, true},
                 1,
                 false},
        FlagCase{"ReAddRefused",
                 {S::HostAppears, S::Create, S::AddFails, S::HostAppears, S::HostAppears},
                 {true, false},
                 2,
                 false},
        FlagCase{"Deleted",
                 {S::HostAppears, S::Create, S::Delete, S::HostAppears},
                 {true, true},
                 1,
                 false},
        FlagCase{"NothingToDeleteBeforeAnAdd", {S::Create, S::Delete}, {false, true}, 1, false}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
