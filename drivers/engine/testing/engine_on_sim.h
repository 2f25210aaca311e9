#pragma once
// Test support: an engine on the shared core end to end against a register
// simulator. Its real port is on the simulator's pseudo-terminal (COMn, found
// through the registry, so a RegistryTest fixture must be in place), its pump
// thread hands the steps to the Qt event loop, and time is the lockstep clock's
// (virtual, every byte in flight delivered before a pause ends), so each run sees
// the same bytes at the same times. What the engine logged and reported as errors
// is kept; the including test records the results its own way.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/serialport.h"
#include "platform/serial/termiosport.h"
#include "sim/lockstep.h"
#include "sim/simpty.h"

namespace tolver::testutil {

// Engine: made from (port, clock, withThread); Sim: the register's side.
template <class Engine, class Sim>
class TEngineOnSim {
public:
    explicit TEngineOnSim(int com) : clock(pty, sim) {
        SetComDevicePath(com, pty.SlavePath());
        auto owned = std::make_unique<TTermiosPort>();
        port = owned.get();
        clock.Attach(*port);
        engine = std::make_unique<Engine>(std::move(owned), clock, true);
        engine->SetComNumber(static_cast<std::uint8_t>(com));
        engine->SetBaud(9600);
        engine->OnLog = [this](const std::string& s) { log += s; };
        engine->OnError = [this](const std::string& s) { errors.push_back(s); };
    }
    ~TEngineOnSim() { engine.reset(); }
    TEngineOnSim(const TEngineOnSim&) = delete;
    TEngineOnSim& operator=(const TEngineOnSim&) = delete;

    void Open() {
        std::string cause;
        ASSERT_EQ(engine->Open(cause), 0) << cause;
    }

    TSimPty pty;
    Sim sim;
    TLockstepClock clock;
    TTermiosPort* port = nullptr;
    std::unique_ptr<Engine> engine;
    std::string log;
    std::vector<std::string> errors;
};

}  // namespace tolver::testutil
