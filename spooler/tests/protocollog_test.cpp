// The protocol log: one file a day with the texts as sent, a failed write reported
// once and kept out of the driver, and every message box noted before it waits.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/testing/gui_test_main.h"
#include "spooler/tests/core_rig.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProtocolLogTest : public ::testing::Test, public TCoreRig {};

// The log alone, over a setup, a view and a state folder of its own.
struct TLogRig {
    TLogRig() { ::setenv("TOLVER_STATE_DIR", (registry.dir() / "state").c_str(), 1); }
    ~TLogRig() { ::unsetenv("TOLVER_STATE_DIR"); }
    TempRegistry registry;
    TSpoolerSetup setup;
    TFakeView view;
    TProtocolLog log{setup, view};
};

class ProtocolLogAlone : public ::testing::Test, public TLogRig {};

TEST_F(ProtocolLogAlone, IsOneFilePerDayWithTextsAsSent) {
    const auto dir = registry.dir() / "state";
    QDate day(2026, 3, 7);
    log.SetToday([&] { return day; });
    log.Write("lost\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "07-03-2026_Spooler.log.txt"));
    setup.DriverSetup.ProtocolOn = true;
    log.Write("12:00:00.000 -> 1B\r\n");
    log.Write("AddInfo: x");
    log.Write("\x1b[2J\x07\ttab\x7f");  // a client's text with control characters
    day = day.addDays(1);
    log.Write("next day");
    EXPECT_EQ(ReadFile(dir / "07-03-2026_Spooler.log.txt"), "12:00:00.000 -> 1B\r\nAddInfo: x<1B>[2J<07>\ttab<7F>");
    EXPECT_EQ(ReadFile(dir / "08-03-2026_Spooler.log.txt"), "next day");
    EXPECT_TRUE(view.Posted.empty());
}

// The file stays open between texts: one whose folder is removed or moved away, or
// that is removed itself, must not swallow the texts after it.
TEST_F(ProtocolLogAlone, TextsAfterTheFileOrItsFolderWentGoToTheDaysFileMadeAgain) {
    const auto dir = registry.dir() / "state";
    const auto moved = registry.dir() / "moved";
    const auto file = dir / "07-03-2026_Spooler.log.txt";
    const struct {
        const char* what;
        std::function<void()> take;
        const char* after;  // the day's file then
    } cases[] = {
        {"folder removed", [&] { std::filesystem::remove_all(dir); }, "after"},
        {"folder moved", [&] { std::filesystem::rename(dir, moved); }, "after"},
        {"file removed", [&] { std::filesystem::remove(file); }, "after"},
        {"file replaced",
         [&] {
             std::filesystem::remove(file);
             std::ofstream(file) << "other;";
         },
         "other;after"},
    };
    log.SetToday([] { return QDate(2026, 3, 7); });
    setup.DriverSetup.ProtocolOn = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir);
        std::filesystem::remove_all(moved);
        log.Write("before;");
        ASSERT_EQ(ReadFile(file), "before;");
        c.take();
        log.Write("after");
        EXPECT_EQ(ReadFile(file), c.after);
        // What was written before a move went with the folder.
        if (std::filesystem::exists(moved)) {
            EXPECT_EQ(ReadFile(moved / file.filename()), "before;");
        }
    }
    EXPECT_TRUE(view.Posted.empty());
}

// A run of failures is reported once; a write that succeeds again ends the run, and
// the next failure is reported anew.
TEST_F(ProtocolLogAlone, WritesGoOnOnceTheFileCanBeWrittenAgain) {
    const auto dir = registry.dir() / "state";
    const auto file = dir / "07-03-2026_Spooler.log.txt";
    log.SetToday([] { return QDate(2026, 3, 7); });
    setup.DriverSetup.ProtocolOn = true;
    // A folder in the file's place fails every write, root's too.
    std::filesystem::create_directories(file);
    log.Write("a");
    log.Write("b");
    EXPECT_EQ(view.Posted.size(), 1u);
    std::filesystem::remove(file);
    log.Write("c");
    EXPECT_EQ(ReadFile(file), "c");
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
    log.Write("d");
    EXPECT_EQ(view.Posted.size(), 2u);
}

TEST_F(ProtocolLogTest, ProtocolLogFailureIsReportedOnceAndStaysOutOfTheDriver) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the log's name a folder instead.
        std::filesystem::create_directories(registry.dir() / "state" / "07-03-2026_Spooler.log.txt");
    } else {
        std::filesystem::create_directories(registry.dir() / "state");
        ::chmod((registry.dir() / "state").c_str(), 0500);
    }
    core.Log().SetToday([] { return QDate(2026, 3, 7); });
    setup.DriverSetup.ProtocolOn = true;
    Start();
    EXPECT_EQ(driver->RaiseRaw(ICashDriverAutoEvents::OnProtocolLog, std::span<Variant>()), S_OK);
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolLog, "a");
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolLog, "b");
    ASSERT_EQ(view.Posted.size(), 1u);
    EXPECT_NE(view.Posted[0].find("07-03-2026_Spooler.log.txt"), std::string::npos);
    ::chmod((registry.dir() / "state").c_str(), 0700);
}

TEST_F(ProtocolLogTest, EveryBoxShownIsToldOnStandardErrorAndInTheProtocolLogBeforeItWaits) {
    core.Log().SetToday([] { return QDate(2026, 3, 7); });
    setup.DriverSetup.ProtocolOn = true;
    Start();
    const auto log = registry.dir() / "state" / "07-03-2026_Spooler.log.txt";
    const TSpoolerMessageHandler scripted = SetSpoolerMessageHandler({});  // the real box
    SetSpoolerMessageSeen(true);  // as where a cashier sees it
    const struct {
        std::function<void()> show;
        const char* notice;
    } cases[] = {
        {[&] { driver->RaiseText(ICashDriverAutoEvents::OnProtocolError, "Касса не открыта"); },
         "Окно \"Тольвер. Ошибка\" ждет ответа \"OK\": Касса не открыта"},
        {[&] { driver->RaiseText(ICashDriverAutoEvents::OnProtocolQuery, "Поверните ключ\r\nв положение X"); },
         "Окно \"Тольвер. Запрос\" ждет ответа \"OK\": Поверните ключ в положение X"},
        {[] { ShowSpoolerMessage(kTextLinkFailure, kTitleError, true); },
         "Окно \"Тольвер. Ошибка\" ждет ответа \"Да\" или \"Нет\": Сбой коммуникации с КА: Возможные причины:  "
         "-кассовый аппарат выключен;  -обрыв кабеля;  -неисправность кассового аппарата  Выводить в дальнейшем это "
         "сообщение?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notice);
        std::string logWhileOpen;
        bool answered = false;
        QTimer::singleShot(0, [&] {
            logWhileOpen = ReadFile(log);
            if (QWidget* box = QApplication::activeModalWidget()) {
                QTest::keyClick(box, Qt::Key_Escape);
                answered = true;
            }
        });
        ::testing::internal::CaptureStderr();
        c.show();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(answered);
        EXPECT_NE(err.find(std::string("Spooler: ") + c.notice + "\n"), std::string::npos) << err;
        // A time-stamped line, there while the box still waits.
        const std::size_t at = logWhileOpen.find(std::string(c.notice) + "\r\n");
        ASSERT_NE(at, std::string::npos) << logWhileOpen;
        ASSERT_GE(at, 13u);
        EXPECT_EQ(logWhileOpen[at - 1], ' ');
        EXPECT_EQ(logWhileOpen[at - 5], '.');
    }
    SetSpoolerMessageSeen(std::nullopt);
    SetSpoolerMessageHandler(scripted);
}

// Offscreen nobody sees a box: one that only informs is told and answered at once,
// a question waits its bounded time and is answered as cancelled; both are told on
// standard error and in the protocol log.
TEST_F(ProtocolLogTest, WhereNobodySeesABoxNothingWaitsForeverBehindIt) {
    core.Log().SetToday([] { return QDate(2026, 3, 7); });
    setup.DriverSetup.ProtocolOn = true;
    Start();
    const auto log = registry.dir() / "state" / "07-03-2026_Spooler.log.txt";
    const TSpoolerMessageHandler scripted = SetSpoolerMessageHandler({});
    SetSpoolerMessageSeen(false);
    SetUnattendedQuestionWait(std::chrono::milliseconds(50));
    const struct {
        std::function<int()> show;
        int answer;
        std::vector<const char*> notices;
    } cases[] = {
        {[&] {
             driver->RaiseText(ICashDriverAutoEvents::OnProtocolError, "Касса не открыта");
             return 0;
         },
         0,
         {"Окно \"Тольвер. Ошибка\" (экрана нет, ответ \"OK\" дан сразу): Касса не открыта"}},
        {[] { return ShowSpoolerMessage("Выполнить?", kTitleConfirm, true); },
         -1,
         {"Окно \"Тольвер. Подтверждение\" ждет ответа \"Да\" или \"Нет\": Выполнить? (экрана нет: ждет не дольше 0 с)",
          "Окно \"Тольвер. Подтверждение\" осталось без ответа: ответ \"Нет\""}},
        {[] { return ShowSpoolerMessage("Поверните ключ", kTitleQuery, false); },
         -1,
         {"Окно \"Тольвер. Запрос\" осталось без ответа: ответ \"Отмена\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notices.back());
        bool boxShown = false;
        QTimer::singleShot(0, [&] { boxShown = QApplication::activeModalWidget() != nullptr; });
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(c.show(), c.answer);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(boxShown, c.answer != 0);
        for (const char* notice : c.notices) {
            EXPECT_NE(err.find(std::string("Spooler: ") + notice + "\n"), std::string::npos) << err;
            EXPECT_NE(ReadFile(log).find(std::string(notice) + "\r\n"), std::string::npos);
        }
    }
    SetUnattendedQuestionWait(kUnattendedQuestionWait);
    SetSpoolerMessageSeen(std::nullopt);
    SetSpoolerMessageHandler(scripted);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
