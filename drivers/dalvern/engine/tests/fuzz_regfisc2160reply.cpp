// libFuzzer target for the "РФ 2160" receiving side: the assembler and the reply
// parser over the raw input, then the engine over a schedule of register bytes,
// queued commands and time passing. No crash, no sanitizer report, no unit longer
// than a frame, no second result for an id.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "drivers/dalvern/engine/regfisc2160protocol.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/fuzz_seeds.h"

using namespace tolver;

namespace {

std::string Frame(const std::string& data) { return *BuildFrame(data); }

}  // namespace

// With TOLVER_WRITE_SEEDS=<folder>, writes a seed corpus and exits: an ACK and a
// status, an identification, a status carrying ACK and NAK bytes, a damaged frame.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const std::string seeds[] = {
        "\x06" + Frame(std::string("[\x01\x00\x00\x00", 5)),
        "\x06" + Frame("S10000216001" + std::string(31, ' ') + "2160.01.02    "),
        "\x06" + Frame(std::string("[\x06\x21\x15\x06", 5)) + "\x15",
        "zz\x01" "FISREGISTRATOR2160\x02\x1C" "0a5[\x01\x00\x00\x00\x03" "1556\x04",
    };
    testutil::WriteSeedsIfAsked({seeds[0], seeds[1], seeds[2], seeds[3]});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The raw input as a received stream.
    TReplyAssembler assembler;
    std::string unit;
    for (const char c : input) {
        if (!assembler.Feed(c, unit)) continue;
        if (unit.size() > fisc2160::kMaxFrame) std::abort();
        TReply r;
        r.Parse(unit);
        if (r.Kind > TReply::KindDamaged || r.Details.size() > 1) std::abort();
        if (r.Kind == TReply::KindStatus && (r.Data.size() != 5 || r.Mode > 5)) std::abort();
    }
    if (assembler.Buffer().size() > fisc2160::kMaxFrame) std::abort();
    TReply whole;
    whole.Parse(input);

    // The engine: bit 7 of a byte set means an operation, else the byte arrives.
    TFakeClock clock;
    auto owned = std::make_unique<TFakePort>();
    TFakePort& port = *owned;
    TRegFisc2160Protocol p(std::move(owned), clock, false);
    std::map<int, int> results;
    p.OnCommandResult = [&](int id, int) {
        if (++results[id] > 1) std::abort();
    };
    p.OnLog = [](const std::string&) {};
    p.OnError = [](const std::string&) {};
    p.OnQuery = [](const std::string&) {};
    p.SetIgnoreReplyFormatError(size % 2);
    std::string cause;
    p.Open(cause);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t op = data[i];
        if (!(op & 0x80)) {
            port.Feed(op);
            continue;
        }
        switch ((op >> 5) & 3) {
            case 0:  // time passes
                for (int s = 0; s < (op & 0x1F) * 50; ++s) p.Step();
                break;
            case 1:  // a command
                p.AddCommand(std::string(1 + op % 3, 'A'), static_cast<std::uint8_t>(1 + op % 5), 1 << (op % 5), "");
                break;
            case 2:  // a frame from the register: a status in mode op & 0x1F
                port.Feed(Frame(std::string("[") + static_cast<char>(op & 0x1F) + std::string(3, '\0')));
                break;
            default:  // the line's ACK or NAK, or a reopen
                if (op & 1)
                    port.Feed(op & 2 ? "\x15" : "\x06");
                else
                    p.Open(cause);
                break;
        }
    }
    return 0;
}
