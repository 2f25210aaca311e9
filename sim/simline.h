#pragma once
// Test support: a simulated register on the host's port COMn, as a driver module
// created through its class factory reaches it. The pseudo-terminal is named in the
// registry value "COMn" (HKEY_LOCAL_MACHINE, "\Software\Norvale\Spooler\Ports"), and
// the default line of the engines is a termios port on the lockstep clock (virtual
// time; every byte in flight delivered before a pause ends). Needs a registry store.

#include <memory>
#include <string>

#include "platform/registry/registry.h"
#include "platform/serial/defaultline.h"
#include "platform/serial/termiosport.h"
#include "sim/lockstep.h"
#include "sim/simpty.h"

namespace tolver {

class TSimLine {
public:
    TSimLine(TSimDevice& device, int com) : clock(pty, device) {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true))
            reg.WriteString("COM" + std::to_string(com), pty.SlavePath());
        SetDefaultLine(
            [this] {
                auto port = std::make_unique<TTermiosPort>();
                clock.Attach(*port);
                return port;
            },
            &clock);
    }
    ~TSimLine() { SetDefaultLine({}, nullptr); }
    TSimLine(const TSimLine&) = delete;
    TSimLine& operator=(const TSimLine&) = delete;

    TSimPty pty;
    TLockstepClock clock;
};

}  // namespace tolver
