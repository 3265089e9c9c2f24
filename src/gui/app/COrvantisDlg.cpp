// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisDlg.h"

#include "core/acquisition/ChartPollThread.h"
#include "core/alerts/AlertVerbs.h"
#include "core/app/InstanceProtocol.h"
#include "core/app/PriceTracker.h"
#include "core/common/ServerConfig.h"
#include "core/history/HistoryRecorder.h"
#include "core/settings/AlertSettings.h"
#include "core/settings/Settings.h"
#include "desktop/CSwayPlaceKeeper.h"
#include "desktop/WindowActivation.h"
#include "gui/app/InstanceServer.h"
#include "gui/common/DialogTemplate.h"
#include "gui/common/GuiGlobals.h"
#include "gui/desktop/CMinimizer.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/dialogs/CAlertRulesDlg.h"
#include "gui/dialogs/CSettingDlg.h"
#include "gui/history/CHistoryWnd.h"
#include "gui/notify/CAlertNotifier.h"
#include "gui/notify/CInfWnd.h"
#include "gui/notify/CTipDialog.h"
#include "platform/Platform.h"
#include "platform/common/WallClock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <memory>

namespace {
constexpr DlgItem TEMPLATE_DIALOG{COrvantisDlg::IDD, 0, 0, 185, 92};
constexpr DlgItem TEMPLATE_MINIMIZE{COrvantisDlg::IDC_MINIMIZE, 99, 71, 50, 14};
constexpr DlgItem TEMPLATE_EXIT{COrvantisDlg::IDC_EXIT, 36, 71, 50, 14};
constexpr DlgItem TEMPLATE_INF{COrvantisDlg::IDC_INF, 15, 14, 97, 24};
constexpr DlgItem TEMPLATE_SETTINGS{COrvantisDlg::IDC_SETTINGS, 120, 24, 58, 27};
constexpr DlgItem TEMPLATE_ABOUT{COrvantisDlg::IDC_ABOUT, 157, 7, 20, 8};
constexpr DlgItem TEMPLATE_NOTIFY{COrvantisDlg::IDC_NOTIFY, 0, 56, 185, 8};
constexpr DlgItem TEMPLATE_LIVE{COrvantisDlg::IDC_LIVE, 15, 39, 49, 8};

constexpr const char* THRESHOLD_LABEL = "The monitor will notify you every %1 dollar change";

// Counts one more open dialog of a kind while it runs.
class ModalScope final {
public:
    explicit ModalScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~ModalScope() { --m_depth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    int& m_depth;
};
} // namespace

COrvantisDlg::COrvantisDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_infWnd(new CInfWnd(this)),
      m_linkAbout(new CHyperLink(IDC_ABOUT, QStringLiteral("About"), this)),
      m_linkLive(new CHyperLink(IDC_LIVE, QStringLiteral("Live Gold Prices"), this)),
      m_staticNotify(new QLabel(this)),
      m_hIcon(QPixmap::fromImage(ReadSmallImage(QStringLiteral(":/icons/orvantis.png"), "PNG"))),
      m_tray(*this), m_btnMinimize(new QPushButton(QStringLiteral("Minimize"), this)),
      m_btnExit(new QPushButton(QStringLiteral("Exit"), this)),
      m_btnSettings(new QPushButton(QStringLiteral("Settings"), this)),
      m_timerTopmost(new QTimer(this)), m_timerHoldEnd(new QTimer(this)),
      m_timerReopen(new QTimer(this)), m_minimizer(new CMinimizer(this)),
      m_alertNotifier(
          new CAlertNotifier({[this](const PriceView& prices) { OpenTipDialog(prices); },
                              [this](const QByteArray& token) { OnHandOver(token); },
                              [this](const QByteArray& token) { OnOpenHistory(token); }},
                             this)) {
    setObjectName(QStringLiteral("COrvantisDlg"));
    setWindowTitle(QStringLiteral("Orvantis"));
    const CDialogUnits units = ApplyDialogTemplate(this, TEMPLATE_DIALOG);
    PlaceItem(m_btnMinimize, units, TEMPLATE_MINIMIZE);
    PlaceItem(m_btnExit, units, TEMPLATE_EXIT);
    PlaceTextItem(m_infWnd, units, TEMPLATE_INF, TEMPLATE_SETTINGS.x - 2);
    PlaceItem(m_btnSettings, units, TEMPLATE_SETTINGS);
    PlaceTextItem(m_linkAbout, units, TEMPLATE_ABOUT, TEMPLATE_DIALOG.cx);
    PlaceItem(m_staticNotify, units, TEMPLATE_NOTIFY);
    PlaceTextItem(m_linkLive, units, TEMPLATE_LIVE, TEMPLATE_SETTINGS.x - 2);
    m_linkAbout->PreSubclassWindow();
    m_linkLive->PreSubclassWindow();

    m_btnMinimize->setObjectName(QStringLiteral("IDC_MINIMIZE"));
    m_btnExit->setObjectName(QStringLiteral("IDC_EXIT"));
    m_btnSettings->setObjectName(QStringLiteral("IDC_SETTINGS"));
    m_infWnd->setObjectName(QStringLiteral("IDC_INF"));
    m_staticNotify->setObjectName(QStringLiteral("IDC_NOTIFY"));
    m_linkAbout->setObjectName(QStringLiteral("IDC_ABOUT"));
    m_linkLive->setObjectName(QStringLiteral("IDC_LIVE"));
    m_staticNotify->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_staticNotify->setText(QString::fromLatin1(THRESHOLD_LABEL).arg(5));

    // Enter presses the focused button, and the default "Minimize" when no button has
    // the focus.
    m_btnMinimize->setDefault(true);
    connect(m_btnMinimize, &QPushButton::clicked, this, &COrvantisDlg::OnMinimize);
    connect(m_btnExit, &QPushButton::clicked, this, &COrvantisDlg::OnExit);
    connect(m_btnSettings, &QPushButton::clicked, this, &COrvantisDlg::OnSettings);
    connect(m_timerTopmost, &QTimer::timeout, this, &COrvantisDlg::OnTimer);
    m_timerHoldEnd->setSingleShot(true);
    connect(m_timerHoldEnd, &QTimer::timeout, this, &COrvantisDlg::UpdateStatusTips);
    m_timerReopen->setSingleShot(true);
    connect(m_timerReopen, &QTimer::timeout, this, &COrvantisDlg::ArmReopening);
    new CSwayPlaceKeeper(this);

    g_pMainDlg.store(this);
}

COrvantisDlg::~COrvantisDlg() {
    Shutdown();
}

bool COrvantisDlg::OnInitDialog() {
    // No "About" item in the window menu, which the window manager owns: the link opens it.
    setWindowIcon(m_hIcon);
    // The home page of the chart server the program reads from. "About" keeps its own
    // text as its target, which it never opens.
    m_linkLive->SetLinkUrl(QString::fromStdString(ChartServer() + "/"));

    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.append(screen->geometry());
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    m_floatWnd.CreateEx(FloatWindowPosition(
        ReadSetting(KEY_FLOAT_POS), primary != nullptr ? primary->geometry() : QRect(), screens));

    RefreshPriceDisplay(false);
    UpdateThresholdLabel();

    // The hand-over channel for a second start; without it the monitor still runs.
    const std::string& runtimeDir = g_strRuntimeDir;
    if (!runtimeDir.empty()) {
        m_instanceServer = new CInstanceServer(
            [this] { return g_pMainDlg.load() != nullptr ? static_cast<quintptr>(winId()) : 0; },
            [this](const QByteArray& token) { OnHandOver(token); }, this);
        m_instanceServer->SetStatusSource([this] { return StatusForBars(); });
        m_instanceServer->SetVerbHandler([this](const CommandVerb& verb) { return OnVerb(verb); });
        m_instanceServer->SetHistoryOpener(
            [this](const QByteArray& token) { OnOpenHistory(token); });
        m_instanceServer->Listen(QString::fromStdString(runtimeDir + "/" + INSTANCE_SOCKET_NAME));
    }

    // Without a tray the monitor runs all the same: "Minimize" then minimises the window,
    // and a tray that appears later gets the icon.
    m_tray.Create(m_hIcon);

    ChartPollHooks hooks = ChartSourceHooks();
    auto tracker = std::make_shared<CPriceTracker>();
    hooks.track = [tracker](const std::string& text, int& flag) {
        return tracker->ProcessNewPrice(text, flag);
    };
    // Every poll goes to the price history, on the polling thread.
    hooks.polled = [tracker, history = std::make_shared<CHistoryRecorder>()](
                       bool accepted, const std::string& text, const PollStatusSnapshot& status) {
        history->Record(accepted, text, status, accepted && tracker->LastNotified(), HistoryNow());
    };
    // Through g_pMainDlg like the price message: never to a window that is going away.
    hooks.statusChanged = [](const PollStatusSnapshot& status) {
        if (IPriceWindow* window = g_pMainDlg.load()) {
            window->PostStatusUpdate(status);
        }
    };
    hooks.market = [hours = std::make_shared<const MarketHours>(MarketHours::Load("orvantis"))](
                       std::chrono::sys_seconds now) { return hours->StateAt(now); };
    m_pollThread = std::make_unique<CChartPollThread>(std::move(hooks), StaleLimit());
    m_pollThread->Start();
    m_timerTopmost->start(TOPMOST_PERIOD_MS);
    return true;
}

void COrvantisDlg::Shutdown() {
    delete m_historyWnd;
    g_pMainDlg.store(nullptr);
    m_timerTopmost->stop();
    // Both are asked first, so that their transfers end together.
    if (m_pollThread) {
        m_pollThread->RequestStop();
    }
    m_emailThread.RequestStop();
    m_emailThread.Stop();
    m_pollThread.reset();
}

void COrvantisDlg::PostPriceUpdate(const PriceUpdate& update) {
    QMetaObject::invokeMethod(
        this, [this, update] { OnPriceUpdate(update); }, Qt::QueuedConnection);
}

void COrvantisDlg::PostStatusUpdate(const PollStatusSnapshot& status) {
    QMetaObject::invokeMethod(
        this, [this, status] { ShowPollStatus(status); }, Qt::QueuedConnection);
}

void COrvantisDlg::ShowPollStatus(const PollStatusSnapshot& status) {
    m_pollStatus = status;
    m_floatWnd.SetStale(status.stale);
    m_tray.SetGreyed(status.stale);
    UpdateStatusTips();
    ArmReopening();
}

void COrvantisDlg::ArmReopening() {
    // A day at most per wait; a longer closure waits again.
    constexpr std::int64_t WAIT_MAX_S = 24 * 3600;
    if (!m_pollStatus.closed || m_pollStatus.reopens == 0) {
        m_timerReopen->stop();
        return;
    }
    const std::int64_t left = m_pollStatus.reopens - WallClock::NowSeconds();
    if (left <= 0) {
        m_pollStatus.closed = false;
        m_pollStatus.reopens = 0;
        m_timerReopen->stop();
        UpdateStatusTips();
        return;
    }
    m_timerReopen->start(static_cast<int>(std::min(left, WAIT_MAX_S) * 1000));
}

InstanceStatus COrvantisDlg::StatusForBars() const {
    const std::optional<AlertHold> hold = CurrentAlertHold();
    QStringList tooltip = StatusTipLines(hold);
    tooltip.prepend(QStringLiteral("Last Notify Price: ") +
                    QString::fromStdString(m_prices.lastNotify));
    return MakeInstanceStatus(m_prices, m_pollStatus.stale,
                              tooltip.join(QLatin1Char('\n')).toStdString(), hold,
                              m_pollStatus.closed, m_pollStatus.reopens);
}

std::string COrvantisDlg::OnVerb(const CommandVerb& verb) {
    // What the running program does with each verb.
    static const std::pair<const char*, std::string (COrvantisDlg::*)(const CommandVerb&)> VERBS[] =
        {
            {VERB_SNOOZE, &COrvantisDlg::OnSettingsVerb},
            {VERB_RESUME, &COrvantisDlg::OnSettingsVerb},
            {VERB_RESET_REFERENCE, &COrvantisDlg::OnSettingsVerb},
            {VERB_RULES, &COrvantisDlg::OnRulesVerb},
        };
    for (const auto& [name, act] : VERBS) {
        if (verb.name == name) {
            return (this->*act)(verb);
        }
    }
    return "the running copy does not know --" + verb.name;
}

std::string COrvantisDlg::OnSettingsVerb(const CommandVerb& verb) {
    std::string error = RunSettingsVerb(verb).value_or(std::string());
    // The panel shows the reference as it now stands, the tips whether alerts are held.
    RefreshPriceDisplay(!m_prices.current.empty());
    return error;
}

std::string COrvantisDlg::OnRulesVerb(const CommandVerb& /*verb*/) {
    // Opened once the answer is out: the dialog's own loop would hold it back.
    QMetaObject::invokeMethod(this, &COrvantisDlg::OnAlertRules, Qt::QueuedConnection);
    return {};
}

void COrvantisDlg::RefreshPriceDisplay(bool readCurrent) {
    ShowPrices(MakePriceView(ReadSetting(KEY_LAST_PRICE),
                             readCurrent ? ReadSetting(KEY_CURRENT_PRICE) : std::string()));
}

void COrvantisDlg::ShowPrices(const PriceView& prices) {
    m_prices = prices;
    m_infWnd->SetPrices(m_prices);
    m_floatWnd.SetPrices(m_prices);
    UpdateStatusTips();
}

QStringList COrvantisDlg::StatusTipLines(const std::optional<AlertHold>& hold) const {
    QStringList lines;
    if (hold) {
        lines.append(QString::fromLatin1(hold->kind == AlertHold::Kind::Snoozed
                                             ? "Alerts snoozed until %1"
                                             : "Alerts quiet until %1")
                         .arg(QString::fromStdString(FormatLocalClock(hold->until))));
    }
    for (const std::string& line :
         {StaleTipLine(m_pollStatus), ClosedTipLine(m_pollStatus), SettingsWriteProblemTip()}) {
        if (!line.empty()) {
            lines.append(QString::fromStdString(line));
        }
    }
    return lines;
}

void COrvantisDlg::UpdateStatusTips() {
    // Where the user looks: whether alerts are held, what keeps the monitor from working
    // right, or nothing.
    const std::optional<AlertHold> hold = CurrentAlertHold();
    const QString text = StatusTipLines(hold).join(QLatin1Char('\n'));
    m_timerHoldEnd->stop();
    if (hold) {
        // At the end of the hold, at most a day ahead (then again).
        constexpr std::int64_t DAY_MS = 24LL * 3600 * 1000;
        const std::int64_t left = (hold->until - AlertClockNow()) * 1000 + 1000;
        m_timerHoldEnd->start(static_cast<int>(std::clamp<std::int64_t>(left, 1000, DAY_MS)));
    }
    m_infWnd->setToolTip(text);
    m_floatWnd.setToolTip(text);
    m_tray.SetTipLine(text);
}

void COrvantisDlg::UpdateThresholdLabel() {
    const std::string text = FormatThreshold(ReadSetting(KEY_PRICE_CHANGE));
    m_staticNotify->setText(QString::fromLatin1(THRESHOLD_LABEL).arg(QString::fromStdString(text)));
}

void COrvantisDlg::OnPriceUpdate(int wParam, int /*lParam*/) {
    OnPriceUpdate({wParam, ReadSetting(KEY_TIP_LAST_PRICE), ReadSetting(KEY_LAST_PRICE),
                   ReadSetting(KEY_CURRENT_PRICE)});
}

void COrvantisDlg::OnPriceUpdate(const PriceUpdate& update) {
    if (update.code != PRICE_UPDATE_REFRESH && update.code != PRICE_UPDATE_NOTIFY) {
        return;
    }
    ShowPrices(MakePriceView(update.lastPrice, update.currentPrice));
    if (update.code == PRICE_UPDATE_REFRESH) {
        return;
    }
    if (ReadSetting(KEY_SEND_EMAIL) == Switch::On) {
        m_emailThread.Notify();
        if (ReadSetting(KEY_POPUP) == Switch::Off) {
            return;
        }
    }
    const PriceView prices = MakePriceView(update.tipLastPrice, update.lastPrice);
    if (ReadAlertSettings().style == AlertStyle::Notification) {
        m_alertNotifier->Alert(prices);
        return;
    }
    OpenTipDialog(prices);
}

void COrvantisDlg::OpenTipDialog(const PriceView& prices) {
    // Each notification opens its dialog over the last; past the cap the user still hears
    // the beep, but a price that notifies at every poll cannot pile up dialogs without end.
    if (m_openTipDialogs >= MAX_OPEN_TIP_DIALOGS) {
        QApplication::beep();
        return;
    }
    // None holds another: each is answered on its own, in any order, and lives until then.
    auto* dialog = new CTipDialog(this, prices);
    ++m_openTipDialogs;
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        --m_openTipDialogs;
        dialog->deleteLater();
    });
    dialog->show();
    // Comes up active as a modal dialog would, where the desktop lets it.
    dialog->activateWindow();
}

int COrvantisDlg::RunModal(QDialog& dialog) {
    const ModalScope scope(m_modalDepth);
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

void COrvantisDlg::OnCommand(int id) {
    if (id == ID_TRAY_OPEN) {
        OnOpenMainWindow();
    } else if (id == ID_TRAY_EXIT) {
        OnExit();
    }
}

void COrvantisDlg::OnOpenMainWindow() {
    // Hidden into the tray, minimised where there is none, behind other windows, or held
    // by one of the program's modal dialogs: shown, active and in front in every case.
    RestoreFromTray();
}

void COrvantisDlg::OnHandOver(const QByteArray& activationToken) {
    OnOpenMainWindow();
    ActivateWithToken(windowHandle(), activationToken);
}

void COrvantisDlg::OnOpenHistory(const QByteArray& activationToken) {
    if (m_historyWnd == nullptr) {
        m_historyWnd = new CHistoryWnd(CHistoryStore::DefaultPath(), HistoryNow());
    }
    m_historyWnd->show();
    ActivateWithToken(m_historyWnd->windowHandle(), activationToken);
}

void COrvantisDlg::OnMinimize() {
    // A window hidden with no tray to bring it back from would be lost to the user.
    if (m_tray.IsIconShown()) {
        HideToTray();
        return;
    }
    m_minimizer->Minimize();
}

void COrvantisDlg::HideToTray() {
    CSystemTray::HideToTray(this);
}

void COrvantisDlg::RestoreFromTray() {
    CSystemTray::RestoreFromTray(this);
}

void COrvantisDlg::OnExit() {
    if (const auto place = m_floatWnd.PlaceToStore(); place && m_floatWnd.isVisible()) {
        WriteSetting(KEY_FLOAT_POS, std::to_string(place->x()) + "," + std::to_string(place->y()));
    }
    OnCancel();
}

void COrvantisDlg::OnEndSession() {
    // A logout or kill ends the program like Esc: the floating window's place is stored
    // only when the user chooses Exit.
    OnCancel();
}

void COrvantisDlg::OnSettings() {
    CSettingDlg dialog(this);
    if (RunModal(dialog) == QDialog::Accepted) {
        UpdateThresholdLabel();
        UpdateStatusTips();
    }
}

void COrvantisDlg::OnAlertRules() {
    OnOpenMainWindow();
    if (m_rulesDlg != nullptr) {
        m_rulesDlg->raise();
        m_rulesDlg->activateWindow();
        return;
    }
    CAlertRulesDlg dialog(this);
    m_rulesDlg = &dialog;
    RunModal(dialog);
    m_rulesDlg = nullptr;
}

bool COrvantisDlg::OnHyperLinkClicked(int controlId) {
    if (controlId != IDC_ABOUT) {
        return false;
    }
    CAboutDlg dialog(this);
    RunModal(dialog);
    return true;
}

void COrvantisDlg::OnCancel() {
    emit EndModal(0);
}

void COrvantisDlg::OnTimer() {
    // Puts the floating window back above other always-on-top windows, but not while the
    // user works in the main window.
    if (QApplication::activeWindow() != this) {
        m_floatWnd.KeepOnTop();
    }
}

void COrvantisDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        m_placeBeforeHide = frameGeometry().topLeft();
    }
}

void COrvantisDlg::showEvent(QShowEvent* event) {
    // Shown again after hiding, a window lands off its place by its frame's size on X11
    // window managers: it goes back where it was before it is mapped. sway places it after
    // mapping it: CSwayPlaceKeeper puts it back there.
    if (!event->spontaneous() && m_placeBeforeHide) {
        move(*m_placeBeforeHide);
        m_placeBeforeHide.reset();
    }
    QDialog::showEvent(event);
}

void COrvantisDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnMinimize();
}

void COrvantisDlg::reject() {
    OnCancel();
}
