// sorbel-demo: a small host for the Sorbel driver, until the spooler exists. It
// creates "Sorbel.CashDriverAuto" (registered with tolver-regsvr), connects the way
// the spooler does and makes one sale: sign-on, sales by department and by article,
// a cancellation, cash in and out, a text, the payment and an X report. It prints
// every command result and, at the end, the cash tape (the print copy relayed by
// OnPrint).
//
//   sorbel-demo --com N [--baud B] [--control SOCKET] [--log]
//
// --control names the control socket of "cashsim er350f --control SOCKET": the
// demo's operator turns the simulated register's key there when the driver asks.
// Without it the operator is asked on the terminal.

#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/cocreate.h"
#include "platform/com/connpoint.h"
#include "platform/com/hresult.h"
#include "platform/testing/run_until.h"
#include "platform/variant/codepage.h"
#include "sim/simcontrol.h"

using namespace tolver;

namespace {

// What the demo hears of the driver; the operator turns the key as each query asks.
class DemoHost {
public:
    DemoHost(std::string control, bool log) : control_(std::move(control)), log_(log) {}

    std::map<int, int> results;
    std::string tape;  // UTF-8
    int queries = 0;

    TDriverEvents Events() {
        TDriverEvents e;
        e.OnCommandResult = [this](std::int32_t cmd, std::int32_t result) {
            results[cmd] = result;
            std::printf("  OnCommandResult(%d, %d)\n", cmd, result);
            std::fflush(stdout);
        };
        e.OnPrint = [this](std::int32_t c) { tape += Cp1251ToUtf8(std::string(1, static_cast<char>(c))); };
        e.OnProtocolError = [](const std::string& text) {
            std::printf("  OnProtocolError: %s\n", text.c_str());
            std::fflush(stdout);
        };
        e.OnProtocolLog = [this](const std::string& text) {
            if (!log_) return;
            std::printf("    %s", text.c_str());
            std::fflush(stdout);
        };
        e.OnProtocolQuery = [this](const std::string& text) {
            Query(text);
            ++queries;
        };
        return e;
    }

private:
    // The operator turns the key as asked, then presses OK.
    void Query(const std::string& text) {
        std::printf("  OnProtocolQuery: %s\n", text.c_str());
        const std::pair<const char*, const char*> positions[] = {
            {"положение X", "X"}, {"положение Z", "Z"}, {"положение П", "П"}, {"положение Р", "P"}};
        for (const auto& [words, key] : positions) {
            if (text.find(words) == std::string::npos) continue;
            if (!control_.empty()) {
                if (!TurnSimulatorKey(control_, key)) std::printf("  (the simulator did not turn its key)\n");
            } else if (::isatty(0)) {
                std::printf("  Turn the key to %s and press Enter ", key);
                std::fflush(stdout);
                std::string line;
                std::getline(std::cin, line);
            }
        }
        std::fflush(stdout);
    }

    std::string control_;
    bool log_;
};

int Usage() {
    std::fprintf(stderr, "usage: sorbel-demo --com N [--baud B] [--control SOCKET] [--log]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int com = 0, baud = 9600;
    std::string control;
    bool log = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--log") {
            log = true;
        } else if (i + 1 < argc && (a == "--com" || a == "--baud" || a == "--control")) {
            const std::string value = argv[++i];
            if (a == "--control") control = value;
            else (a == "--com" ? com : baud) = std::atoi(value.c_str());
        } else {
            return Usage();
        }
    }
    if (com < 1 || com > 255 || baud <= 0) return Usage();
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    try {
        ComPtr<IDispatch> object = CreateOleObject("Sorbel.CashDriverAuto");
        DemoHost host(control, log);
        TDriverEventReceiver receiver(host.Events());
        receiver.Connect(object.get());
        auto driver = ComPtr<ICashDriverAuto>::Query(object.get());
        if (!driver) throw Exception("the object does not answer ICashDriverAuto");
        ICashDriverAuto& d = *driver;

        // Serves the event loop until `until` holds or ms have passed.
        const auto serve = [&](int ms, const std::function<bool()>& until) { testutil::RunUntil(until, ms); };
        // Serves it until every id has its result or time runs out.
        const auto wait = [&](const std::vector<std::int32_t>& ids, int seconds) {
            const auto done = [&] {
                for (const std::int32_t id : ids)
                    if (id > 0 && !host.results.count(id)) return false;
                return true;
            };
            serve(seconds * 1000, done);
            return done();
        };
        std::vector<std::int32_t> ids;
        const auto call = [&](const char* what, const std::function<HRESULT(std::int32_t*)>& member) {
            std::int32_t v = -1;
            OleCheck(member(&v));
            std::printf("%s -> %d\n", what, v);
            std::fflush(stdout);
            ids.push_back(v);
            return v;
        };

        // The connect sequence of the spooler.
        Variant limits;
        OleCheck(d.get_Constraints(&limits));
        TCashDriverConstraints c;
        VariantToCashDriverConstraints(c, limits);
        std::printf("Model: %s\n", c.VersionName.c_str());
        std::int32_t v = 0;
        OleCheck(d.ProgramAfterReg("", &v));
        TSpoolerSetup setup;
        setup.DriverSetup.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
        OleCheck(d.set_SpoolerSetup(setup.GetAsVariant()));
        OleCheck(d.set_ComNumber(static_cast<std::uint8_t>(com)));
        OleCheck(d.set_Baud(baud));
        std::string cause;
        OleCheck(d.Init(DispatchGet(object.get(), "Properties"), &cause, &v));
        std::printf("Init(COM%d, %d) -> %d %s\n", com, baud, v, cause.c_str());
        if (v != 0) return 1;
        call("Restore", [&](std::int32_t* r) { return d.Restore(r); });
        if (!wait(ids, 15)) throw Exception("the register does not answer");

        const Currency price = Currency::Parse("12"), article = Currency::Parse("6");
        call("RegOp(1, \"Кассир 1\", \"5173\")", [&](std::int32_t* r) { return d.RegOp(1, "Кассир 1", "5173", r); });
        ids.push_back(ids.back() - 1);  // the sign-off before the sign-on
        call("AddPayDep(\"Хлеб\", 1, 10.00, 12.00, 1)",
             [&](std::int32_t* r) { return d.AddPayDep("Хлеб", 1.0, Currency::Parse("10"), price, 1, r); });
        call("AddPayArt(2, 5.00, 6.00, 5)",
             [&](std::int32_t* r) { return d.AddPayArt(2.0, Currency::Parse("5"), article, 5, r); });
        call("DelPayDep(12.00, 12.00, 1)", [&](std::int32_t* r) { return d.DelPayDep(price, price, 1, r); });
        call("AddCash(100.00, Cash)",
             [&](std::int32_t* r) { return d.AddCash(Currency::Parse("100"), TPayType::Cash, "", r); });
        call("ReturnCash(50.00, Cash)",
             [&](std::int32_t* r) { return d.ReturnCash(Currency::Parse("50"), TPayType::Cash, "", r); });
        call("AddInfo(\"Спасибо за покупку\")", [&](std::int32_t* r) { return d.AddInfo("Спасибо за покупку", r); });
        call("CloseCheck(20.00, Cash)",
             [&](std::int32_t* r) { return d.CloseCheck(Currency::Parse("20"), TPayType::Cash, r); });
        call("GetXReport(\"0;\")", [&](std::int32_t* r) { return d.GetXReport("0;", r); });
        const bool sold = wait(ids, 120);
        // The report ends with the operator's second query; its print copy follows
        // the key and comes in with the next poll, before the next command starts.
        serve(60000, [&] { return host.queries >= 2; });
        serve(2500, [] { return false; });

        call("Terminate", [&](std::int32_t* r) { return d.Terminate(r); });
        const bool terminated = wait(ids, 15);
        std::string beginMsg;
        OleCheck(d.get_BeginMsg(&beginMsg));
        OleCheck(d.Done());
        receiver.Disconnect();

        std::printf("\n---- cash tape ----\n%s---- end of tape ----\n", host.tape.c_str());
        std::printf("Receipt header captured: %s\n", beginMsg.empty() ? "(none)" : "");
        for (const std::string& line : TextToLines(beginMsg)) std::printf("  %s\n", line.c_str());
        int failed = 0;
        for (const std::int32_t id : ids)
            if (id > 0 && (!host.results.count(id) || host.results[id] != 0)) ++failed;
        std::printf("%zu commands, %d without success\n", ids.size(), failed);
        return sold && terminated && failed == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sorbel-demo: %s\n", e.what());
        return 1;
    }
}
