// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/PollStatus.h"
#include "core/alerts/AlertRules.h"
#include "core/app/CommandVerbs.h"
#include "core/app/InstanceStatus.h"
#include "core/app/PriceLine.h"
#include "core/common/Globals.h"
#include "core/notify/EmailNotify.h"
#include "gui/desktop/CFloatWnd.h"
#include "gui/desktop/CHyperLink.h"
#include "gui/desktop/CTray.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>

class CAlertNotifier;
class CAlertRulesDlg;
class CChartPollThread;
class CInfWnd;
class CMinimizer;
class CInstanceServer;
class CHistoryWnd;
class QLabel;
class QPushButton;
class QTimer;

// The main window: the price panel, the threshold in words, the links and the buttons.
// It owns the floating window, the tray icon and the background work (the polling
// thread), and is the window whose end ends the program. "Minimize" and the close box
// only hide it into the tray (or minimise it where there is no tray).
class COrvantisDlg final : public QDialog,
                           public IPriceWindow,
                           public CSystemTray::CallBack,
                           public CHyperLink::CallBack {
    Q_OBJECT
public:
    explicit COrvantisDlg(QWidget* parent = nullptr);
    ~COrvantisDlg() override;
    Q_DISABLE_COPY(COrvantisDlg)

    static constexpr int IDD = 102;
    static constexpr int IDC_MINIMIZE = 1000;
    static constexpr int IDC_EXIT = 1001;
    static constexpr int IDC_SETTINGS = 1002;
    static constexpr int IDC_INF = 1004;
    static constexpr int IDC_ABOUT = 1005;
    static constexpr int IDC_LIVE = 1006;
    static constexpr int IDC_NOTIFY = 1016;
    static constexpr int ID_TIMER_TOPMOST = 100;
    static constexpr int TOPMOST_PERIOD_MS = 5000;
    // Notification dialogs open at once, each over the last; a further notification only
    // beeps.
    static constexpr int MAX_OPEN_TIP_DIALOGS = 10;

    // Creates the controls' content and starts the background work; false when the
    // program cannot run its monitor (no price is then ever read).
    bool OnInitDialog();

    // Shows the stored reference, and the stored current price when readCurrent.
    void RefreshPriceDisplay(bool readCurrent);
    void UpdateThresholdLabel();
    // WM_PRICE_UPDATE with the prices as the settings file holds them.
    void OnPriceUpdate(int wParam, int lParam);
    // WM_PRICE_UPDATE with the prices it carries.
    void OnPriceUpdate(const PriceUpdate& update);
    void OnOpenMainWindow();
    // A second start: "Open Main Window" with the activation token of that start.
    void OnHandOver(const QByteArray& activationToken);
    // "Price history": opens the history window, or brings the open one forward with
    // the activation token of the start that asked (empty for none).
    void OnOpenHistory(const QByteArray& activationToken = {});
    void OnMinimize();
    void OnExit();
    // The session ends (logout, kill): the program ends as Esc ends it.
    void OnEndSession();
    void OnSettings();
    // "Alert Rules", over the main window; brought forward when it is already open.
    void OnAlertRules();
    void OnCommand(int id) override;

    QWidget* TrayMainWindow() override { return this; }
    bool IsHeldByModal() const override { return m_modalDepth > 0; }
    // "About" opens the about box here; every other link opens its target.
    bool OnHyperLinkClicked(int controlId) override;

    // Thread-safe: queues WM_PRICE_UPDATE for the user-interface thread.
    void PostPriceUpdate(const PriceUpdate& update) override;
    // Thread-safe: queues the polling thread's status for ShowPollStatus.
    void PostStatusUpdate(const PollStatusSnapshot& status) override;

    // Shows what the polls came to: while stale the floating window is grey, the tray
    // icon greyed, and the panel, the floating window and the tray say why in their tips.
    void ShowPollStatus(const PollStatusSnapshot& status);
    // The floating window's line, the panel's reference and the problems, for status bars.
    InstanceStatus StatusForBars() const;

    // A verb of a second start ("orvantis --snooze 60"): empty when done, else why not.
    std::string OnVerb(const CommandVerb& verb);

    // Ends the background work before the window goes away: clears g_pMainDlg, drops the
    // e-mail requests still waiting, ends the transfers in flight and joins the polling
    // thread and the e-mail worker.
    void Shutdown();

    const CTray& Tray() const { return m_tray; }

signals:
    // Emitted when the window ends its run (Exit, Esc), with the exit status.
    void EndModal(int status);

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnCancel();
    void ShowPrices(const PriceView& prices);
    void UpdateStatusTips();
    // The lines of the tips: what keeps the monitor from working right, or nothing.
    QStringList StatusTipLines(const std::optional<AlertHold>& hold) const;
    std::string OnSettingsVerb(const CommandVerb& verb);
    std::string OnRulesVerb(const CommandVerb& verb);
    void OnTimer();
    // While the market is closed, one single-shot timer ends the closed state at the
    // reopening (the polls would notice it only at the next one).
    void ArmReopening();
    void OpenTipDialog(const PriceView& prices);
    void HideToTray();
    void RestoreFromTray();
    int RunModal(QDialog& dialog);

    CInfWnd* m_infWnd;
    CHyperLink* m_linkAbout;
    CFloatWnd m_floatWnd;
    CHyperLink* m_linkLive;
    QLabel* m_staticNotify;
    QIcon m_hIcon;
    CTray m_tray;
    QPushButton* m_btnMinimize;
    QPushButton* m_btnExit;
    QPushButton* m_btnSettings;
    QTimer* m_timerTopmost;
    // Once, when held alerts come back: the tips stop saying they are held.
    QTimer* m_timerHoldEnd;
    QTimer* m_timerReopen;
    CMinimizer* m_minimizer;
    CInstanceServer* m_instanceServer = nullptr;
    CAlertNotifier* m_alertNotifier;
    CAlertRulesDlg* m_rulesDlg = nullptr;
    QPointer<CHistoryWnd> m_historyWnd; // deletes itself when closed
    std::unique_ptr<CChartPollThread> m_pollThread;
    CEmailNotifyThread m_emailThread;
    int m_modalDepth = 0;
    int m_openTipDialogs = 0;
    // What the panel, the floating window and the status bars show.
    PriceView m_prices;
    PollStatusSnapshot m_pollStatus;
    std::optional<QPoint> m_placeBeforeHide;
};
