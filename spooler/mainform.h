#pragma once
// The spooler's main window: a small stay-on-top status window, shown only while
// the link is being restored or taken down or when connecting failed, and the tray
// icon with the program's menu. Where the desktop has no tray, the status window
// stays shown, carries the same menu (a button and its context menu) and tells the
// link's state itself.
//
// The window is made over the spooler's logic (the core, made before it) and is the
// view of that logic: the status text, the status window, the menu, the cash tape,
// the timers, the sign-on dialog and the dialogs of the menu.

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "spooler/spoolercore.h"
#include "spooler/spoolerdialogs.h"

class QHBoxLayout;
class QLabel;
class QScrollArea;
class QToolButton;

namespace tolver {

class TIOnlyOnce;
class TfrmPrint;

class TfrmMain : public QWidget, private ISpoolerView {
    Q_OBJECT
public:
    using TObjectFactory = TSpoolerCore::TObjectFactory;

    // The main window of the program, null before it exists and after it is gone.
    static TfrmMain* Instance();

    // Builds the window over core, whose setup is loaded, and becomes its view.
    // guard: the single-instance guard (its "come forward" shows the status window);
    // dialogs: makes the menu's dialog windows (none without). The core's driver object
    // is released before the window goes (TSpoolerProgram): its frames may sit in the
    // dialogs.
    explicit TfrmMain(TSpoolerCore& core, TIOnlyOnce* guard = nullptr, const TSpoolerDialogsFactory& dialogs = {});
    ~TfrmMain() override;

    TSpoolerCore& Core() { return core_; }
    const TSpoolerCore& Core() const { return core_; }

    // Shows or hides "Регистрация кассира", the reports, "Пауза", the programming,
    // connection and settings items, the tape and two separators.
    void SetMenuFull(bool full) override;
    int ShowRegDialog();
    void ShowReports() override;
    // The connection dialog's selected driver entry; empty without dialogs.
    std::string DriverInfo() override;
    void SetControlEnabled(bool enabled) override;
    TfrmPrint* frmPrint() const { return frmPrint_; }
    bool HasTray() const { return RxTrayIcon != nullptr; }

    // The designed controls.
    QScrollArea* ScrollBox1;
    QLabel* lInfo;
    QSystemTrayIcon* RxTrayIcon = nullptr;  // null where the desktop has no tray
    QToolButton* bMenu = nullptr;           // the menu, where there is no tray
    QLabel* lLamp = nullptr;                // the link's lamp, where there is no tray
    QMenu* PopupMenu1;
    QAction *N6, *N7, *N13, *N14, *nPause, *N8, *N9, *N11, *N10, *N2, *N1, *N3, *N4, *N5;
    QTimer timerState, timerState1, timerCommandResult;

signals:
    // The closing sequence has ended and the window closes: the program ends.
    void closed();

public slots:
    void N6Click();
    void N7Click();
    void N13Click();
    void nPauseClick();
    void N8Click();
    void N11Click();
    void N10Click();
    void N1Click();
    void N3Click();
    void N5Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // ISpoolerView
    void SetInfo(const std::string& text) override;
    void ShowStatus() override;
    void HideStatus() override;
    void PrintChar(std::int32_t code) override;
    void StartCommandResultTimer() override;
    void PushDriverProperties() override;
    void PostClose() override;
    int ShowMessage(const std::string& text, const std::string& title, bool yesNo) override;
    void PostMessage(const std::string& text, const std::string& title) override;
    void LinkChanged() override;
    void Started(const std::string& loadError) override;
    void PostRegDialog(std::function<void(std::int32_t)> done) override;

    void BuildMenu();
    // The tray icon, or the lamp and the menu button on the status window where there is
    // no tray.
    void BuildTrayOrMenuButton(QHBoxLayout& layout);
    void ConnectTimers();
    void FitHeight();

    TSpoolerCore& core_;
    std::unique_ptr<ISpoolerDialogs> dialogs_;
    TfrmPrint* frmPrint_ = nullptr;
};

}  // namespace tolver
