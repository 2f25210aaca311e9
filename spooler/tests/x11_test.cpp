// The spooler's windows on a real X server (an Xvfb of the test's own): what the
// window system is given, which the offscreen tests cannot see. Each window's caption
// reaches the window manager whole, and a window manager's close (WM_DELETE_WINDOW)
// neither ends the spooler nor hides its status window.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QTest>

#include <cstdlib>
#include <string>

#include "platform/registry/temp_registry.h"
#include "platform/testing/gui_test_main.h"
#include "spooler/about.h"
#include "spooler/application.h"
#include "spooler/dialogs/model.h"
#include "spooler/dialogs/properties.h"
#include "spooler/dialogs/reports.h"
#include "spooler/dialogs/tests/dialog_fixture.h"
#include "spooler/icons.h"
#include "spooler/mainform.h"
#include "spooler/printform.h"
#include "spooler/regform.h"
#include "spooler/spoolermessage.h"
#include "spooler/tests/fake_driver.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

xcb_connection_t* Connection() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }

xcb_atom_t Atom(const char* name) {
    xcb_connection_t* c = Connection();
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return atom;
}

// A text property of a window as the window manager reads it.
std::string TextProperty(QWidget& w, const char* name) {
    xcb_connection_t* c = Connection();
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, static_cast<xcb_window_t>(w.winId()), Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    std::string value;
    if (r) value.assign(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    std::free(r);
    return value;
}

TEST(X11, EveryCaptionReachesTheWindowManagerWhole) {
    SetUpSpoolerApplication(*qApp);
    TempRegistry registry;
    testutil::FakeHost host;
    TSpoolerSetup setup;
    TfrmMyMessage error("Касса не открыта", kTitleError, false);
    TfrmMyMessage confirm("Выполнить?", kTitleConfirm, true);
    TfrmReg reg(setup, 9);
    TfrmAbout about(SpoolerIcon(), "/nonexistent/Spooler");
    TfrmPrint tape;
    TfrmModel model(host, (registry.dir() / "none").string() + "/");
    TfrmProperties properties(host);
    TfrmReports reports(host);
    TfrmProgram program(host);
    const std::pair<QWidget*, const char*> windows[] = {
        {&error, "Тольвер. Ошибка"}, {&confirm, "Тольвер. Подтверждение"}, {&reg, "Регистрация кассира"},
        {&about, "About"},           {&tape, "Кассовая лента"},           {&model, "Подключение"},
        {&properties, "Параметры"},  {&reports, "Отчеты КА"},             {&program, "Программирование"},
    };
    for (const auto& [window, caption] : windows) {
        SCOPED_TRACE(caption);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_EQ(TextProperty(*window, "_NET_WM_NAME"), caption);
        window->hide();
    }
}

TEST(X11, AWindowManagersCloseLeavesTheStatusWindowAndTheSpooler) {
    TempRegistry registry;
    ComPtr<TFakeDriver> driver = MakeComObject<TFakeDriver>();
    TSpoolerSetup s;
    s.DriverSetup.CashDriverProperties->AutoObjectName = "Fake.Driver";
    s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    TSpoolerProgram program(nullptr, [&](const std::string&) { return ComPtr<IDispatch>(driver.get()); });
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    EXPECT_EQ(TextProperty(main, "_NET_WM_NAME"), "Тольвер");
    bool closed = false;
    QObject::connect(&main, &TfrmMain::closed, [&] { closed = true; });
    // Watches for the close event that the client message becomes.
    struct TCloseSeen : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override {
            seen = seen || e->type() == QEvent::Close;
            return false;
        }
    } watch;
    main.installEventFilter(&watch);

    // What a window manager sends for its close button.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(main.winId());
    message.type = Atom("WM_PROTOCOLS");
    message.data.data32[0] = Atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(Connection(), 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(Connection());
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.seen; }, 10000));

    EXPECT_TRUE(main.isVisible());  // no tray here: the status window stays
    EXPECT_EQ(core.Link().PendingAction(), paNone);
    EXPECT_EQ(core.Link().State(), lsConnected);
    // "Выход" still ends it.
    main.N5->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 10000));
}

// An X server of this test's own: Xvfb picks a free display and tells its number.
pid_t StartXvfb() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string display;
    char ch = 0;
    while (::read(fds[0], &ch, 1) == 1 && ch != '\n') display += ch;
    ::close(fds[0]);
    if (display.empty()) {
        if (pid > 0) ::waitpid(pid, nullptr, 0);
        return -1;
    }
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time) needs no X server.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    const pid_t xvfb = StartXvfb();
    if (xvfb < 0) {
        std::fprintf(stderr, "x11_test: Xvfb did not start (scripts/setup.sh installs it)\n");
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    tolver::testutil::PrepareGuiTestEnvironment();
    int code = 0;
    {
        QApplication app(argc, argv);
        code = RUN_ALL_TESTS();
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    return code;
}
