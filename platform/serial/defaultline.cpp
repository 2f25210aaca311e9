#include "platform/serial/defaultline.h"

#include <mutex>

#include "platform/serial/termiosport.h"

namespace tolver {
namespace {

struct TDefaultLine {
    std::mutex m;
    TPortMaker makePort;
    TClock* clock = nullptr;
};

TDefaultLine& Line() {
    static TDefaultLine line;
    return line;
}

}  // namespace

void SetDefaultLine(TPortMaker makePort, TClock* clock) {
    TDefaultLine& line = Line();
    std::lock_guard lock(line.m);
    line.makePort = std::move(makePort);
    line.clock = clock;
}

std::unique_ptr<TSerialPort> MakeDefaultPort() {
    TPortMaker maker;
    {
        TDefaultLine& line = Line();
        std::lock_guard lock(line.m);
        maker = line.makePort;
    }
    return maker ? maker() : std::make_unique<TTermiosPort>();
}

TClock& DefaultLineClock() {
    TDefaultLine& line = Line();
    std::lock_guard lock(line.m);
    return line.clock ? *line.clock : SystemClock();
}

}  // namespace tolver
