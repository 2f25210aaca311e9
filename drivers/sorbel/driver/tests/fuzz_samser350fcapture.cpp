
// libFuzzer target for what the Sorbel driver reads from outside besides the
// engine's bytes: the register's print copy, in which it looks for the receipt
// header, and the stored header value "Temp". No crash, no sanitizer report; a
// captured header has exactly five lines; the print copy kept stays bounded.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "drivers/sorbel/driver/samser350f.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/registry/registry.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/fuzz_seeds.h"
#include "platform/variant/codepage.h"

using namespace tolver;

namespace {
char g_dir[] = "/tmp/tolver-fuzz-capture-XXXXXX";
}

// The font configuration library keeps a cache for the life of the process, which
// the leak check would report at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    testutil::WriteSeedsIfAsked({
        "\x01ИТОГ 1.00\r\nЧЕК *** 0001\r\n________________\r\n\r\nМАГАЗИН\r\nУЛ. 1\r\nТЕЛ.\r\n\r\nКАССА 1\r\nX\r\n",
        "\x01\n\n\n\nЧЕК ***\n\n\n\n\n\n\n\n\nA",
        std::string_view("\x00!=header~$", 11),
    });
    if (!mkdtemp(g_dir)) std::abort();
    setenv("TOLVER_REGISTRY", (std::string(g_dir) + "/registry.db").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", g_dir, 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    });
    // Kept for the life of the process, so that what Qt caches stays reachable.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] == 0) {
        TFakeClock clock;
        // The stored value, as another installation may have left it.
        {
            TRegistry reg(HKEY_LOCAL_MACHINE);
            if (reg.OpenKey(TSamsER350F::kBeginMsgKey, true)) reg.WriteString(TSamsER350F::kBeginMsgValue, Cp1251ToUtf8(rest));
        }
        TSamsER350F driver(std::make_unique<TSamsER350FProtocol>(std::make_unique<TFakePort>(), clock, false));
        driver.SaveBeginMsg();
        TSamsER350F again(std::make_unique<TSamsER350FProtocol>(std::make_unique<TFakePort>(), clock, false));
        if (again.BeginMsg != driver.BeginMsg) std::abort();
        return 0;
    }
    // One driver serves many inputs (its frames are costly to make); a fresh one now
    // and then keeps the keys its give-ups queue bounded.
    static TFakeClock captureClock;
    static std::unique_ptr<TSamsER350F> shared;
    static int uses = 0;
    if (!shared || ++uses % 256 == 0) {
        shared.reset();
        shared = std::make_unique<TSamsER350F>(
            std::make_unique<TSamsER350FProtocol>(std::make_unique<TFakePort>(), captureClock, false));
        shared->IniFileName = std::string(g_dir) + "/Spooler.ini";
    }
    TSamsER350F& driver = *shared;
    driver.PrintCopy.clear();
    driver.HeaderCaptured = false;
    driver.CaptureText.clear();
    for (const char c : rest) {
        driver.CapturePrintChar(static_cast<std::uint8_t>(c));
        if (driver.PrintCopy.size() > TSamsER350F::kCaptureLineLimit + 2) std::abort();
    }
    if (!driver.CaptureText.empty()) {
        std::size_t lines = 0;
        for (std::size_t p = 0; (p = driver.CaptureText.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
        if (lines != 5 || driver.BeginMsg != driver.CaptureText) std::abort();
    }
    return 0;
}
