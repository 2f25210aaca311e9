#include "spooler/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>

#include "platform/shell/ionlyonce.h"
#include "spooler/about.h"
#include "spooler/icons.h"
#include "spooler/printform.h"
#include "spooler/regform.h"
#include "spooler/spoolermessage.h"

namespace tolver {

namespace {

TfrmMain* g_main = nullptr;

constexpr int kClientWidth = 292, kClientHeight = 31;

// Brings a window forward; offscreen there is nothing to raise (and Qt says so).
void BringForward(QWidget* w) {
    if (QGuiApplication::platformName() != "offscreen") w->raise();
}

}  // namespace

TfrmMain* TfrmMain::Instance() { return g_main; }

TfrmMain::TfrmMain(TSpoolerCore& core, TIOnlyOnce* guard, const TSpoolerDialogsFactory& dialogs)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      core_(core) {
    setObjectName("frmMain");
    setWindowTitle("Тольвер");
    setWindowIcon(SpoolerIcon());

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lInfo = new QLabel;
    lInfo->setObjectName("lInfo");
    lInfo->setWordWrap(true);
    lInfo->setMinimumWidth(249);
    lInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lInfo->setContentsMargins(6, 2, 6, 2);
    ScrollBox1->setWidget(lInfo);
    BuildMenu();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);
    if (guard) {
        connect(guard, &TIOnlyOnce::activated, this, [this] {
            show();
            BringForward(this);
        });
    }
    BuildTrayOrMenuButton(*layout);
    // The lamp and the menu button go beside the designed client area.
    setFixedWidth(kClientWidth + (bMenu ? lLamp->width() + bMenu->sizeHint().width() : 0));
    FitHeight();

    // The dialogs (made over the loaded setup) and the cash tape.
    if (dialogs) dialogs_ = dialogs(*this);
    frmPrint_ = new TfrmPrint;
    ConnectTimers();
    g_main = this;
    core_.SetView(this);
    // The link's timers run from the start (the link is stopped until the core connects).
    timerState.start();
    timerState1.start();
}

void TfrmMain::BuildMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    // In menu order; a separator has no caption.
    static const struct {
        QAction* TfrmMain::*member;
        const char* name;
        const char* caption;
        void (TfrmMain::*click)();
    } kItems[] = {
        {&TfrmMain::N6, "N6", "&Регистрация кассира", &TfrmMain::N6Click},
        {&TfrmMain::N7, "N7", "&Отчеты КА", &TfrmMain::N7Click},
        {&TfrmMain::N13, "N13", "Закрыть &чек", &TfrmMain::N13Click},
        {&TfrmMain::N14, "N14", nullptr, nullptr},
        {&TfrmMain::nPause, "nPause", "Пауза", &TfrmMain::nPauseClick},
        {&TfrmMain::N8, "N8", "Про&граммирование", &TfrmMain::N8Click},
        {&TfrmMain::N9, "N9", nullptr, nullptr},
        {&TfrmMain::N11, "N11", "По&дключение", &TfrmMain::N11Click},
        {&TfrmMain::N10, "N10", "&Параметры", &TfrmMain::N10Click},
        {&TfrmMain::N2, "N2", nullptr, nullptr},
        {&TfrmMain::N1, "N1", "&Кассовая лента", &TfrmMain::N1Click},
        {&TfrmMain::N3, "N3", "О програ&мме", &TfrmMain::N3Click},
        {&TfrmMain::N4, "N4", nullptr, nullptr},
        {&TfrmMain::N5, "N5", "Вы&ход", &TfrmMain::N5Click},
    };
    for (const auto& item : kItems) {
        QAction* a = item.caption ? PopupMenu1->addAction(item.caption) : PopupMenu1->addSeparator();
        a->setObjectName(item.name);
        if (item.click) connect(a, &QAction::triggered, this, item.click);
        this->*item.member = a;
    }
    PopupMenu1->setDefaultAction(N10);
}

void TfrmMain::BuildTrayOrMenuButton(QHBoxLayout& layout) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        RxTrayIcon = new QSystemTrayIcon(SpoolerIcon(TLinkLamp::Down), this);
        RxTrayIcon->setObjectName("RxTrayIcon");
        RxTrayIcon->setToolTip("Тольвер");
        RxTrayIcon->setContextMenu(PopupMenu1);
        connect(RxTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::DoubleClick && PopupMenu1->defaultAction() &&
                PopupMenu1->defaultAction()->isVisible() && PopupMenu1->defaultAction()->isEnabled())
                PopupMenu1->defaultAction()->trigger();
        });
        RxTrayIcon->show();
        return;
    }
    lLamp = new QLabel(this);
    lLamp->setObjectName("lLamp");
    lLamp->setFixedSize(28, 24);
    lLamp->setAlignment(Qt::AlignCenter);
    layout.insertWidget(0, lLamp, 0, Qt::AlignVCenter);
    bMenu = new QToolButton(this);
    bMenu->setObjectName("bMenu");
    bMenu->setText("Меню");
    bMenu->setMenu(PopupMenu1);
    bMenu->setPopupMode(QToolButton::InstantPopup);
    bMenu->setAutoRaise(true);
    layout.addWidget(bMenu, 0, Qt::AlignTop);
}

void TfrmMain::ConnectTimers() {
    timerState.setInterval(1000);
    timerState1.setInterval(1000);
    timerCommandResult.setInterval(50);
    timerCommandResult.setSingleShot(true);
    // A handler's timer is off while it runs, so a box inside holds the next tick back.
    connect(&timerState, &QTimer::timeout, this, [this] {
        timerState.stop();
        core_.Link().TimerStateTick();
        timerState.start();
    });
    connect(&timerState1, &QTimer::timeout, this, [this] {
        timerState1.stop();
        core_.Link().TimerState1Tick();
        if (!core_.Link().CanQuit()) timerState1.start();
    });
    connect(&timerCommandResult, &QTimer::timeout, this, [this] { core_.Relay().TimerCommandResultTick(); });
}

TfrmMain::~TfrmMain() {
    if (g_main == this) g_main = nullptr;
    core_.SetView(nullptr);
    timerState.stop();
    timerState1.stop();
    timerCommandResult.stop();
    delete frmPrint_;
    dialogs_.reset();
}

// ---- the view ------------------------------------------------------------------------

void TfrmMain::FitHeight() {
    const int text = lInfo->heightForWidth(kClientWidth);
    setFixedHeight(std::clamp(text, kClientHeight, 120));
}

void TfrmMain::SetInfo(const std::string& text) {
    lInfo->setText(QString::fromStdString(text));
    FitHeight();
}

void TfrmMain::ShowStatus() {
    show();
    BringForward(this);
}

void TfrmMain::HideStatus() {
    // Without a tray the window is the program's only face: it stays.
    if (RxTrayIcon) hide();
}

void TfrmMain::SetMenuFull(bool full) {
    for (QAction* a : {N2, N6, N7, N8, N9, N10, N11, N1, nPause}) a->setVisible(full);
}

void TfrmMain::PrintChar(std::int32_t code) { frmPrint_->AddChar(code); }

void TfrmMain::StartCommandResultTimer() {
    // Several completions within 50 ms go out in one delivery.
    if (!timerCommandResult.isActive()) timerCommandResult.start();
}

void TfrmMain::PushDriverProperties() {
    if (dialogs_) dialogs_->PushDriverProperties();
}

void TfrmMain::PostClose() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

int TfrmMain::ShowMessage(const std::string& text, const std::string& title, bool yesNo) {
    return ShowSpoolerMessage(text, title, yesNo);
}

void TfrmMain::PostMessage(const std::string& text, const std::string& title) {
    QMetaObject::invokeMethod(this, [text, title] { ShowSpoolerMessage(text, title, false); }, Qt::QueuedConnection);
}

void TfrmMain::LinkChanged() {
    TLinkLamp lamp = TLinkLamp::Down;
    std::string state = kTextLinkDown;
    const TLinkMachine& link = core_.Link();
    const bool noError = !link.DriverError();
    if (noError && (link.State() == lsRestoring || link.State() == lsTerminating)) {
        lamp = TLinkLamp::Busy;
    } else if (noError && link.State() == lsConnected && link.LastPollOk()) {
        lamp = TLinkLamp::Connected;
        state = kTextLinkUp;
    }
    if (RxTrayIcon) {
        RxTrayIcon->setIcon(SpoolerIcon(lamp));
    } else {
        setWindowIcon(SpoolerIcon(lamp));
        lLamp->setPixmap(SpoolerIcon(lamp).pixmap(22, 22));
        // The status window stands in for the tray: between the designed texts it
        // tells the link's state itself.
        if (noError && (link.State() == lsConnected || link.State() == lsStopped)) SetInfo(state);
    }
}

void TfrmMain::Started(const std::string& loadError) {
    LinkChanged();
    if (!loadError.empty()) {
        SetInfo(lInfo->text().toStdString() + "\n" + loadError);
        ShowStatus();
    }
    // Without a tray the status window is the only way to the menu.
    if (!RxTrayIcon) ShowStatus();
}

void TfrmMain::SetControlEnabled(bool enabled) {
    for (QAction* item : {N11, N10, N8, nPause}) item->setEnabled(enabled);
    PopupMenu1->setDefaultAction(enabled ? N10 : N7);
}

// ---- menu ----------------------------------------------------------------------------

int TfrmMain::ShowRegDialog() {
    TfrmReg dialog(core_.Setup(), core_.Binding().Constraints().MaxOp);
    if (dialog.exec() != QDialog::Accepted) return -1;
    const TRegChoice& c = dialog.Choice();
    return core_.Cashier().RegisterCashier(c.N, c.Name, dialog.DoReports(), c.Password);
}

void TfrmMain::PostRegDialog(std::function<void(std::int32_t)> done) {
    // The window is the timer's context, so it still exists when the dialog is shown.
    QTimer::singleShot(0, this, [this, done = std::move(done)] { done(ShowRegDialog()); });
}

void TfrmMain::ShowReports() {
    if (dialogs_) dialogs_->ShowReports();
}

std::string TfrmMain::DriverInfo() { return dialogs_ ? dialogs_->DriverInfo() : std::string(); }

void TfrmMain::N6Click() { ShowRegDialog(); }
void TfrmMain::N7Click() { ShowReports(); }
void TfrmMain::N13Click() { core_.Cashier().CloseCheckNow(); }
void TfrmMain::nPauseClick() { core_.Link().Pause(); }
void TfrmMain::N8Click() {
    if (dialogs_) dialogs_->ShowProgram();
}
void TfrmMain::N11Click() {
    if (dialogs_) dialogs_->ShowConnection();
}
void TfrmMain::N10Click() {
    if (dialogs_) dialogs_->ShowSettings();
}
void TfrmMain::N1Click() {
    frmPrint_->show();
    BringForward(frmPrint_);
    frmPrint_->activateWindow();
}
void TfrmMain::N3Click() { ShowAbout(SpoolerIcon()); }
void TfrmMain::N5Click() { close(); }

// ---- window ----------------------------------------------------------------------------

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(screen->geometry().width() - frameGeometry().width() - 20, desk.bottom() + 1 - frameGeometry().height() - 60);
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // The status window has no close of its own: one that a window manager still
    // offers only hides it (where there is no tray it is the menu's only way, and
    // stays). "Выход" and the last client's going end the program.
    if (event->spontaneous()) {
        event->ignore();
        if (RxTrayIcon) hide();
        return;
    }
    // The closing sequence: the link goes down first; the close is posted again once it has.
    if (!core_.Link().CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void TfrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Nor can it be minimized or maximized where a window manager offers it.
    if (event->type() == QEvent::WindowStateChange &&
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        QMetaObject::invokeMethod(this, [this] { setWindowState(Qt::WindowNoState); }, Qt::QueuedConnection);
}

void TfrmMain::contextMenuEvent(QContextMenuEvent* event) { PopupMenu1->exec(event->globalPos()); }

}  // namespace tolver
