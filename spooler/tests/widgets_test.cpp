// The spooler's widgets offscreen: the message box's answers, the cash tape's rules,
// the port picker, the sign-on dialog's checks, the main window's menus; and
// pictures of the main window, the tape with a receipt, the boxes (PNG files in the
// build tree, to be looked at).

#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include "platform/registry/temp_registry.h"
#include "platform/testing/gui_test_main.h"
#include "platform/variant/codepage.h"
#include "spooler/about.h"
#include "spooler/application.h"
#include "platform/serial/serialport.h"
#include "spooler/comcombo.h"
#include "spooler/icons.h"
#include "spooler/mainform.h"
#include "spooler/printform.h"
#include "spooler/regform.h"
#include "spooler/spoolermessage.h"
#include "spooler/tests/fake_driver.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

void SavePng(QWidget& w, const QString& name) {
    QDir().mkpath(PNG_DIR);
    w.grab().save(QString(PNG_DIR) + "/" + name + ".png");
}

// Answers the next modal box with a key once it is up.
void PressInNextBox(Qt::Key key) {
    QTimer::singleShot(0, [key] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, key);
    });
}

TEST(MessageBox, AnswersOfBothForms) {
    SetSpoolerMessageSeen(true);  // as where a cashier sees the box
    struct Case {
        bool yesNo;
        Qt::Key key;
        int answer;
    };
    for (const Case c : {Case{false, Qt::Key_Escape, 0}, Case{false, Qt::Key_Return, 0}, Case{true, Qt::Key_Escape, -1},
                         Case{true, Qt::Key_Return, 0}}) {
        SCOPED_TRACE(std::to_string(c.yesNo) + " " + std::to_string(c.key));
        PressInNextBox(c.key);
        EXPECT_EQ(ShowSpoolerMessage("Текст", kTitleMessage, c.yesNo), c.answer);
    }
    SetSpoolerMessageSeen(std::nullopt);
}

TEST(MessageBox, CaptionsAndPicture) {
    TfrmMyMessage ok("Связь с кассовым аппратом временно прервана.", kTitleMessage, false);
    EXPECT_EQ(ok.windowTitle(), "Тольвер. Сообщение");
    EXPECT_EQ(ok.bOk->text(), "OK");
    EXPECT_TRUE(ok.bCancel->isHidden());
    TfrmMyMessage ask(kTextLinkFailure, kTitleError, true);
    EXPECT_EQ(ask.bOk->text(), "Да");
    EXPECT_EQ(ask.bCancel->text(), "Нет");
    ask.show();
    // The long failure text is shown whole: the box grows rather than cutting it.
    EXPECT_GE(ask.lText->height(), ask.lText->heightForWidth(ask.lText->width()));
    SavePng(ask, "message_yesno");
    ok.show();
    SavePng(ok, "message_ok");
}

TEST(CashTape, LineRules) {
    TfrmPrint tape;
    const auto feed = [&](const std::string& s) {
        for (const unsigned char c : s) tape.AddChar(c);
    };
    feed("A");
    EXPECT_EQ(tape.Lines(), QStringList{"A"});  // the first character starts the first line
    feed("\r\nB\n\nC");
    EXPECT_EQ(tape.Lines(), (QStringList{"A", "B", "", "C"}));
    TfrmPrint fresh;
    fresh.AddChar(10);
    fresh.AddChar('x');
    EXPECT_EQ(fresh.Lines(), QStringList{"x"});
    // Code page 1251 letters.
    TfrmPrint cyr;
    cyr.AddChar(0xC8);  // И
    EXPECT_EQ(cyr.Lines(), QStringList{"И"});
}

TEST(CashTape, TheThousandAndFirstLineClearsIt) {
    TfrmPrint tape;
    tape.AddChar('1');
    for (int i = 2; i <= 1000; ++i) tape.AddChar(10);
    EXPECT_EQ(tape.Lines().size(), 1000);
    tape.AddChar(10);
    EXPECT_TRUE(tape.Lines().isEmpty());
    tape.AddChar('z');
    EXPECT_EQ(tape.Lines(), QStringList{"z"});
}

TEST(CashTape, KeysDoNotEditItAndTheReceiptPicture) {
    TfrmPrint empty;  // a register that sends no print copy
    empty.show();
    SavePng(empty, "cash_tape_empty");
    TfrmPrint tape;
    const std::string receipt =
        "   МАГАЗИН \"РОМАШКА\"\n  ДОБРО ПОЖАЛОВАТЬ\n\nКАССИР 1\nОТДЕЛ 01        12.50\nОТДЕЛ 02         3.00\n"
        "----------------------\nИТОГ             15.50\nНАЛИЧНЫМИ        20.00\nСДАЧА             4.50\n";
    // The register sends code page 1251.
    for (const unsigned char c : Utf8ToCp1251(receipt)) tape.AddChar(c);
    tape.show();
    QTest::keyClicks(tape.memo, "abc");
    QTest::keyClick(tape.memo, Qt::Key_Backspace);
    QTest::keyClick(tape.memo, Qt::Key_Delete);
    EXPECT_TRUE(tape.memo->isReadOnly());  // no paste from the context menu either
    EXPECT_EQ(tape.Lines()[0], "   МАГАЗИН \"РОМАШКА\"");
    EXPECT_EQ(tape.Lines().size(), 11);
    SavePng(tape, "cash_tape");
}

class TTwoPorts : public TComCombo {
public:
    bool PortExists(std::uint8_t N) override { return N == 1 || N == 3; }
};

TEST(ComCombo, PresentPortsAndNumbers) {
    TTwoPorts combo;
    combo.devRoot = "/nonexistent";  // no adapters
    combo.FillPorts(true);
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(0), "Com1");
    EXPECT_EQ(combo.itemText(1), "Com3");
    combo.SetPortNumber(3);
    EXPECT_EQ(combo.GetPortNumber(), 3);
    // Not there: shown as what it is rather than as another port.
    combo.SetPortNumber(2);
    EXPECT_EQ(combo.GetPortNumber(), 2);
    EXPECT_TRUE(combo.currentText().startsWith(QString::fromStdString("Com2: " + ComDevicePath(2) + " — ")))
        << combo.currentText().toStdString();
    EXPECT_EQ(combo.count(), 3);
    combo.FillPorts(false);
    EXPECT_EQ(combo.count(), 8);
    combo.clear();
    EXPECT_EQ(combo.GetPortNumber(), 0);
}

TEST(RegDialog, Checks) {
    TCashOpProperties op;
    op.N = 2;
    op.Description = "Петрова";
    op.Password = "5173";
    struct Case {
        const char* what;
        const TCashOpProperties* selected;
        const char* typed;
        const char* password;
        TRegCheck result;
        std::int32_t n;
    };
    const Case cases[] = {
        {"picked, right password", &op, "Петрова", "5173", TRegCheck::Ok, 2},
        {"picked, wrong case", &op, "Петрова", "5173 ", TRegCheck::BadPassword, -1},
        {"typed number, any password", nullptr, "7", "abc", TRegCheck::Ok, 7},
        {"typed above MaxOp", nullptr, "10", "", TRegCheck::BadNumber, -1},
        {"typed 0", nullptr, "0", "", TRegCheck::BadNumber, -1},
        {"typed text", nullptr, "Иванов", "", TRegCheck::BadNumber, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TRegChoice choice;
        EXPECT_EQ(CheckRegInput(c.selected, c.typed, c.password, 9, choice), c.result);
        EXPECT_EQ(choice.N, c.n);
        if (c.result == TRegCheck::Ok && !c.selected) {
            EXPECT_EQ(choice.Password, c.password);
        }
    }
}

TEST(RegDialog, StaysOpenWithTheErrorText) {
    TSpoolerSetup setup;
    auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(1));
    op->Description = "Кассир 1";
    op->Password = "5173";
    TfrmReg dialog(setup, 9);
    EXPECT_EQ(dialog.comboOp->currentText(), "Кассир 1");
    dialog.show();
    dialog.editPassword->setText("1111");
    dialog.bOk->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Label1->text(), "Неверный пароль кассира");
    SavePng(dialog, "reg_dialog_error");
    dialog.editPassword->setText("5173");
    EXPECT_EQ(dialog.Label1->text(), "");
    dialog.bOk->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Choice().N, 1);
}

class MainWindowTest : public ::testing::Test {
protected:
    TempRegistry registry;
    ComPtr<TFakeDriver> driver = MakeComObject<TFakeDriver>();
    TfrmMain::TObjectFactory factory = [this](const std::string& progId) -> ComPtr<IDispatch> {
        if (progId != "Fake.Driver") throw Exception("Class not registered");
        return ComPtr<IDispatch>(driver.get());
    };
    void ChooseFakeDriver() {
        TSpoolerSetup s;
        s.DriverSetup.CashDriverProperties->AutoObjectName = "Fake.Driver";
        s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    }
};

TEST_F(MainWindowTest, MenuAndTheReducedMenu) {
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    EXPECT_EQ(TfrmMain::Instance(), &main);
    EXPECT_EQ(main.windowTitle(), "Тольвер");
    QStringList names, captions;
    for (QAction* a : main.PopupMenu1->actions()) {
        names << a->objectName();
        captions << (a->isSeparator() ? "-" : a->text());
    }
    EXPECT_EQ(names, (QStringList{"N6", "N7", "N13", "N14", "nPause", "N8", "N9", "N11", "N10", "N2", "N1", "N3", "N4", "N5"}));
    EXPECT_EQ(captions, (QStringList{"&Регистрация кассира", "&Отчеты КА", "Закрыть &чек", "-", "Пауза",
                                     "Про&граммирование", "-", "По&дключение", "&Параметры", "-", "&Кассовая лента",
                                     "О програ&мме", "-", "Вы&ход"}));
    EXPECT_EQ(main.PopupMenu1->defaultAction(), main.N10);
    main.SetMenuFull(false);
    QStringList visible;
    for (QAction* a : main.PopupMenu1->actions())
        if (a->isVisible() && !a->isSeparator()) visible << a->text();
    EXPECT_EQ(visible, (QStringList{"Закрыть &чек", "О програ&мме", "Вы&ход"}));
}

TEST_F(MainWindowTest, WithoutDriverTheStatusWindowTellsIt) {
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.lInfo->text(), "Кассовый аппарат не установлен");
    EXPECT_FALSE(main.HasTray());  // offscreen: no tray, the window carries the menu
    ASSERT_NE(main.bMenu, nullptr);
    EXPECT_EQ(main.bMenu->menu(), main.PopupMenu1);
    SavePng(main, "main_no_driver");
}

TEST_F(MainWindowTest, WithoutTrayTheWindowIsShownAlsoWhenConnectedAtOnce) {
    ChooseFakeDriver();
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    EXPECT_EQ(core.Link().State(), lsConnected);
    EXPECT_TRUE(main.isVisible());
}

TEST_F(MainWindowTest, RestoringAndConnectedPictures) {
    ChooseFakeDriver();
    driver->RestoreResult = 4;
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    EXPECT_EQ(core.Link().State(), lsRestoring);
    EXPECT_EQ(main.lInfo->text(), "Восстановление связи с кассовым аппаратом...");
    SavePng(main, "main_restoring");
    driver->RaiseCommandResult(4, 0);
    core.Link().TimerStateTick();
    EXPECT_EQ(core.Link().State(), lsConnected);
    EXPECT_TRUE(main.isVisible());  // no tray: the window stays
    SavePng(main, "main_connected");
}

TEST_F(MainWindowTest, CloseRoadEndsWithClosed) {
    ChooseFakeDriver();
    driver->TerminateResult = 3;
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    bool closed = false;
    QObject::connect(&main, &TfrmMain::closed, [&] { closed = true; });
    main.N5->trigger();
    EXPECT_EQ(core.Link().State(), lsTerminating);
    EXPECT_FALSE(closed);
    driver->RaiseCommandResult(3, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 5000));
    EXPECT_TRUE(core.Link().CanQuit());
}

TEST_F(MainWindowTest, AWindowManagersCloseMinimizeAndMaximizeLeaveTheStatusWindowAsItIs) {
    ChooseFakeDriver();
    TSpoolerProgram program(nullptr, factory);
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    bool closed = false;
    QObject::connect(&main, &TfrmMain::closed, [&] { closed = true; });
    // The close a window manager offers arrives as a spontaneous close event.
    QCloseEvent wmClose;
    QSpontaneKeyEvent::setSpontaneous(&wmClose);
    // Delivered as the window system delivers it (sendEvent would clear the mark).
    static_cast<QObject&>(main).event(&wmClose);
    EXPECT_FALSE(wmClose.isAccepted());
    EXPECT_TRUE(main.isVisible());  // no tray: the window carries the menu and stays
    EXPECT_EQ(core.Link().PendingAction(), paNone);
    EXPECT_EQ(core.Link().State(), lsConnected);  // the closing sequence has not begun
    for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        main.setWindowState(state);
        EXPECT_TRUE(QTest::qWaitFor([&] { return main.windowState() == Qt::WindowNoState; }, 5000)) << state;
    }
    // "Выход" still takes the closing sequence to its end.
    main.N5->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 5000));
}

TEST(AboutBox, Picture) {
    // The version block is the program file's: a file named as the program has one.
    TempRegistry folder;
    const std::string program = (folder.dir() / "Spooler").string();
    std::ofstream(program) << "";
    TfrmAbout about(SpoolerIcon(), program);
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.labelProductName->text(), "Тольвер");
    EXPECT_TRUE(about.labelMemAvailible->text().startsWith("Memory available: "));
    EXPECT_EQ(MemoryText(16314988), "Memory available: 16 314 988 Кбайт");
    EXPECT_EQ(MemoryText(512), "Memory available: 512 Кбайт");
    about.show();
    SavePng(about, "about");
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
