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
    day = day.addDays(1);
    log.Write("next day");
    EXPECT_EQ(ReadFile(dir / "07-03-2026_Spooler.log.txt"), "12:00:00.000 -> 1B\r\nAddInfo: x");
    EXPECT_EQ(ReadFile(dir / "08-03-2026_Spooler.log.txt"), "next day");
    EXPECT_TRUE(view.Posted.empty());
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
    SetSpoolerMessageHandler(scripted);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
