// SPDX-License-Identifier: MIT
#include "core/app/InstanceProtocol.h"
#include "core/common/Globals.h"
#include "gui/desktop/CTray.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
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
    void PostPriceUpdate(const PriceUpdate& /*update*/) override {}

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
    std::vector<int> messages; // what the icon reports, in order
    bool visibleAfter;
    int lastResult = 1;
    bool modal = false;
    int icon = CSystemTray::IDR_TRAY;
    bool mainWindowGone = false; // g_pMainDlg cleared, as while the program ends
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
    if (c.mainWindowGone) {
        g_pMainDlg.store(nullptr);
    }
    int result = -1;
    for (const int message : c.messages) {
        result = m_tray.OnIconNotify(c.icon, message);
    }
    EXPECT_EQ(m_main.m_window.isVisible(), c.visibleAfter);
    if (c.visibleAfter) {
        EXPECT_FALSE(m_main.m_window.isMinimized());
    }
    EXPECT_EQ(result, c.lastResult);
    EXPECT_EQ(m_tray.Menu()->isVisible(),
              c.messages == std::vector<int>{CSystemTray::WM_RBUTTONUP});
    m_tray.Menu()->hide();
    EXPECT_TRUE(m_main.m_commands.empty());
}

constexpr int UP = CSystemTray::WM_LBUTTONUP;
constexpr int DBL = CSystemTray::WM_LBUTTONDBLCLK;
constexpr int TRAY = CSystemTray::IDR_TRAY;
using W = Window;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Clicks, TrayClickTest, ::testing::Values(
    ClickCase{"HidesAShownWindow", W::Shown, {UP}, false},
    ClickCase{"RestoresAHiddenWindow", W::Hidden, {UP}, true},
    ClickCase{"RestoresAMinimisedWindow", W::Minimised, {UP}, true},
    ClickCase{"TheDoubleClickItselfDoesNothing", W::Shown, {UP, DBL}, false, 0},
    ClickCase{"ModalOnlyShowsAShownWindow", W::Shown, {UP}, true, 1, true},
    ClickCase{"ModalUnminimises", W::Minimised, {UP}, true, 1, true},
    ClickCase{"MiddleButtonDoesNothing", W::Shown, {CSystemTray::WM_MBUTTONUP}, true},
    ClickCase{"HighBitsOfTheMessageIgnored", W::Shown, {0x10000 | UP}, false},
    ClickCase{"RightButtonOpensTheMenu", W::Shown, {CSystemTray::WM_RBUTTONUP}, true},
    ClickCase{"OtherIconsIgnored", W::Shown, {UP}, true, 0, false, TRAY + 1},
    ClickCase{"NothingWhileTheProgramEnds", W::Shown, {UP}, true, 1, false, TRAY, true}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

TEST_F(TrayTest, TheMenuOffersOpenThenExitAndSendsTheirCommands) {
    const QList<QAction*> actions = m_tray.Menu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Open Main Window"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Exit(&X)"));
    actions[1]->trigger();
    actions[0]->trigger();
    EXPECT_EQ(m_main.m_commands, (std::vector<int>{ID_TRAY_EXIT, ID_TRAY_OPEN}));
}

TEST_F(TrayTest, MenuItemsAreChosenWithTheLeftButtonOnly) {
    QMenu* menu = m_tray.Menu();
    menu->popup(QPoint(100, 100));
    const QPoint open = menu->actionGeometry(menu->actions().value(0)).center();
    QTest::mouseClick(menu, Qt::RightButton, {}, open);
    EXPECT_TRUE(m_main.m_commands.empty());
    EXPECT_TRUE(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, open);
    EXPECT_EQ(m_main.m_commands, std::vector<int>{ID_TRAY_OPEN});
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

enum class Step { HostUp, HostDown, Create, AddFails, Delete };

struct FlagCase {
    const char* name;
    std::vector<Step> steps;
    std::string after;
};

class TrayFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(TrayFlagTest, AddsTheIconAgainOnlyWhenItIsMeantToBeShown) {
    FakeMainWindow main;
    ScriptedTray tray(main);
    for (const Step step : GetParam().steps) {
        switch (step) {
        case Step::HostUp:
            tray.m_host = true;
            tray.OnShellRestart();
            break;
        case Step::HostDown:
            tray.m_host = false;
            break;
        case Step::Create:
            tray.Create(QIcon());
            break;
        case Step::AddFails:
            tray.m_addWorks = false;
            break;
        case Step::Delete:
            tray.DeleteIcon();
            break;
        }
    }
    const auto flag = [](bool on) { return on ? std::string("1") : std::string("0"); };
    EXPECT_EQ("hidden=" + flag(tray.m_bIconHidden) + " deleted=" + flag(tray.m_bIconDeleted) +
                  " adds=" + std::to_string(tray.m_adds) + " shown=" + flag(tray.IsIconShown()),
              GetParam().after);
}

using S = Step;
// clang-format off
INSTANTIATE_TEST_SUITE_P(States, TrayFlagTest, ::testing::Values(
    FlagCase{"NeverCreated", {S::HostUp}, "hidden=1 deleted=1 adds=0 shown=0"},
    FlagCase{"HostComesBackAndGetsItAgain", {S::HostUp, S::Create, S::HostDown, S::HostUp}, "hidden=0 deleted=0 adds=2 shown=1"},
    FlagCase{"HostGoneMeansNotShown", {S::HostUp, S::Create, S::HostDown}, "hidden=0 deleted=0 adds=1 shown=0"},
    FlagCase{"TheLateHostGetsIt", {S::Create, S::HostUp}, "hidden=0 deleted=0 adds=2 shown=1"},
    FlagCase{"AddRefusedWithAHost", {S::HostUp, S::AddFails, S::Create, S::HostUp}, "hidden=1 deleted=1 adds=1 shown=0"},
    FlagCase{"ReAddRefused", {S::HostUp, S::Create, S::AddFails, S::HostUp, S::HostUp}, "hidden=1 deleted=0 adds=2 shown=0"},
    FlagCase{"Deleted", {S::HostUp, S::Create, S::Delete, S::HostUp}, "hidden=1 deleted=1 adds=1 shown=0"},
    FlagCase{"NothingToDeleteBeforeAnAdd", {S::Create, S::Delete}, "hidden=0 deleted=1 adds=1 shown=0"}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

} // namespace
