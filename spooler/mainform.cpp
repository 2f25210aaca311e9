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
#include "spooler/driverlist.h"
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

TfrmMain::TfrmMain(TIOnlyOnce* guard, TObjectFactory createObject, const TSpoolerDialogsFactory& dialogs)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      core_(static_cast<ISpoolerView&>(*this), std::move(createObject)) {
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

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const auto item = [this](const char* name, const char* caption, void (TfrmMain::*slot)()) {
        QAction* a = PopupMenu1->addAction(caption);
        a->setObjectName(name);
        if (slot) connect(a, &QAction::triggered, this, slot);
        return a;
    };
    const auto separator = [this](const char* name) {
        QAction* a = PopupMenu1->addSeparator();
        a->setObjectName(name);
        return a;
    };
    N6 = item("N6", "&Регистрация кассира", &TfrmMain::N6Click);
    N7 = item("N7", "&Отчеты КА", &TfrmMain::N7Click);
    N13 = item("N13", "Закрыть &чек", &TfrmMain::N13Click);
    N14 = separator("N14");
    nPause = item("nPause", "Пауза", &TfrmMain::nPauseClick);
    N8 = item("N8", "Про&граммирование", &TfrmMain::N8Click);
    N9 = separator("N9");
    N11 = item("N11", "По&дключение", &TfrmMain::N11Click);
    N10 = item("N10", "&Параметры", &TfrmMain::N10Click);
    N2 = separator("N2");
    N1 = item("N1", "&Кассовая лента", &TfrmMain::N1Click);
    N3 = item("N3", "О програ&мме", &TfrmMain::N3Click);
    N4 = separator("N4");
    N5 = item("N5", "Вы&ход", &TfrmMain::N5Click);
    PopupMenu1->setDefaultAction(N10);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScrollBox1, 1);

    // 1-2: the clients' list is a member; the guard was taken before anything else.
    if (guard) {
        connect(guard, &TIOnlyOnce::activated, this, [this] {
            show();
            BringForward(this);
        });
    }
    // 3: the tray icon, or the menu on the status window where there is no tray.
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
    } else {
        lLamp = new QLabel(this);
        lLamp->setObjectName("lLamp");
        lLamp->setFixedSize(28, 24);
        lLamp->setAlignment(Qt::AlignCenter);
        layout->insertWidget(0, lLamp, 0, Qt::AlignVCenter);
        bMenu = new QToolButton(this);
        bMenu->setObjectName("bMenu");
        bMenu->setText("Меню");
        bMenu->setMenu(PopupMenu1);
        bMenu->setPopupMode(QToolButton::InstantPopup);
        bMenu->setAutoRaise(true);
        layout->addWidget(bMenu, 0, Qt::AlignTop);
    }
    // The lamp and the menu button go beside the designed client area.
    setFixedWidth(kClientWidth + (bMenu ? lLamp->width() + bMenu->sizeHint().width() : 0));
    FitHeight();

    // 4-6: the queue is a member; the setup.
    core_.Store().LoadSetup();
    // 7: the dialogs and the cash tape.
    if (dialogs) dialogs_ = dialogs(*this);
    frmPrint_ = new TfrmPrint;
    // 8: the live driver object.
    core_.Binding().CreateDriverObject();
    // 9-10: the timers; the fields start as they should.
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
    g_main = this;
    // 12-13: stopped (as the link starts), timers on, connect.
    timerState.start();
    timerState1.start();
    core_.Link().ConnectDriver();
    LinkChanged();
    // A store that cannot be read leaves no driver: the window says why as well.
    if (const std::string& error = core_.Store().LoadError(); !error.empty()) {
        SpoolerNotice(error);
        SetInfo(lInfo->text().toStdString() + "\n" + error);
        ShowStatus();
    }
    // Without a tray the status window is the only way to the menu.
    if (!RxTrayIcon) ShowStatus();
}

TfrmMain::~TfrmMain() {
    if (g_main == this) g_main = nullptr;
    timerState.stop();
    timerState1.stop();
    timerCommandResult.stop();
    // No driver event after this point.
    core_.Binding().Driver().Events() = {};
    core_.Binding().DisconnectWrapper();
    core_.Binding().ReleaseDriverObject();
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

// ---- menu ----------------------------------------------------------------------------

int TfrmMain::ShowRegDialog() {
    TfrmReg dialog(core_.Setup(), core_.Binding().Constraints().MaxOp);
    if (dialog.exec() != QDialog::Accepted) return -1;
    const TRegChoice& c = dialog.Choice();
    return core_.Cashier().RegisterCashier(c.N, c.Name, dialog.DoReports(), c.Password);
}

void TfrmMain::ShowReports() {
    if (dialogs_) dialogs_->ShowReports();
}

std::string TfrmMain::DriverInfo() const { return dialogs_ ? dialogs_->DriverInfo() : kNoDriverCaption; }

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
