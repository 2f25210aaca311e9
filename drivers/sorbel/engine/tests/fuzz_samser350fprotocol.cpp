// libFuzzer target for the ER-350F engine's reading of the register's bytes: the
// input is a schedule of keys to queue, bytes arriving and time passing. No crash,
// no sanitizer report, no second result for an id, and no id without one once the
// queue has drained (the firmware row reports successes).
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/fuzz_seeds.h"

using namespace tolver;

// With TOLVER_WRITE_SEEDS=<folder>, writes a seed corpus and exits: a connection
// with its identification, a sale, an error byte, silence and a reopen.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    testutil::WriteSeedsIfAsked({
        std::string_view("\x01\x7F\x7F\x7F\x3F\x20\x7F\x7F\x7F\x3F\x20\x7F", 12),
        std::string_view("\x02\x81\x07\x80\x12\x83\x37\x3F\x20\x7F\x00\x87\x7F\x00\x92\x7F\x00\xB7\x7F", 19),
        std::string_view("\x01\x81\x11\x7F\x00\xE3\x7F\x00\xE1\x7F\xC0\x7F\xC1\x7F", 14),
        std::string_view("\x03\x81\x11\x7F\x7F\x7F\xC1\xC0\x7F\x7F", 10),
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFakeClock clock;
    auto owned = std::make_unique<TFakePort>();
    TFakePort& port = *owned;
    TSamsER350FProtocol p(std::move(owned), clock, false);
    p.SetModel(data && size ? 1 + data[0] % 3 : 1);
    p.SetWaitCheckOutPrint(std::chrono::milliseconds(30));
    p.SetWaitCheckOutLongPrint(std::chrono::milliseconds(60));
    std::map<int, int> results;
    p.OnCommandResult = [&](int id, int) {
        if (++results[id] > 1) std::abort();
    };
    p.OnLog = [](const std::string&) {};
    p.OnPrint = [](int) {};
    std::string cause;
    p.Open(cause);
    int ids = 0;
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t op = data[i];
        const std::uint8_t arg = i + 1 < size ? data[i + 1] : 0;
        switch (op >> 6) {
            case 0:  // a byte from the register
                port.Feed(arg);
                ++i;
                break;
            case 1:  // time passes
                for (int s = 0; s < (op & 0x3F) * 8; ++s) p.Step();
                break;
            case 2:  // a key
                if (op & 1) {
                    p.EnqueueWithId(arg, static_cast<std::uint8_t>(1 + (op >> 1) % 5), "", static_cast<std::uint8_t>((op >> 1) % 11));
                    ++ids;
                } else {
                    p.Enqueue(op & 2 ? -1 : arg, static_cast<std::uint8_t>((op >> 2) % 6), static_cast<std::uint8_t>(op % 12), "q", op & 4);
                }
                ++i;
                break;
            default:  // the link closes and opens again
                if (op & 1) {
                    p.Close();
                } else {
                    p.Open(cause);
                }
                p.SetKeyCheckMode(op & 2);
                break;
        }
    }
    // Drain: a register that is always in the right key position, until the queue is empty.
    static const std::uint8_t answer[6] = {0x00, 0x20, 0x40, 0x80, 0x08, 0x04};
    port.onPut = [&](std::uint8_t b) {
        if (b == 0x02)
            port.Feed(answer[p.Current().KeyPos]);
        else if (b != 0x08)
            port.Feed(static_cast<std::uint8_t>(b + 0x80));
    };
    p.Open(cause);
    for (int s = 0; s < 200000 && (!p.Queue().empty() || p.State() != 0); ++s) p.Step();
    if (p.Queue().empty() && p.State() == 0 && static_cast<int>(results.size()) != ids) std::abort();
    return 0;
}
