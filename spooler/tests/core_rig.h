#pragma once
// The spooler's logic between a scriptable driver and a recording view, with a
// registry store, a state folder and scripted message boxes of its own.

#include <stdlib.h>

#include <string>

#include "platform/registry/temp_registry.h"
#include "spooler/spoolercore.h"
#include "spooler/spoolermessage.h"
#include "spooler/tests/fake_driver.h"

namespace tolver::testing {

struct TCoreRig {
    TCoreRig() {
        ::setenv("TOLVER_STATE_DIR", (registry.dir() / "state").c_str(), 1);
        driver = MakeComObject<TFakeDriver>();
        core.SetView(&view);
        core.Setup().DriverSetup.CashDriverProperties->AutoObjectName = "Fake.Driver";
    }
    ~TCoreRig() { ::unsetenv("TOLVER_STATE_DIR"); }

    // Creates the driver object and runs the connect sequence, as the program does.
    void Start() { core.Start(); }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) core.Link().TimerStateTick();
    }
    void Ticks1(int n) {
        for (int i = 0; i < n; ++i) core.Link().TimerState1Tick();
    }

    TempRegistry registry;
    ComPtr<TFakeDriver> driver;
    TFakeView view;
    TSpoolerCore core{[this](const std::string& progId) -> ComPtr<IDispatch> {
                          if (progId != "Fake.Driver") throw Exception("Class not registered");
                          return ComPtr<IDispatch>(driver.get());
                      }};
    TLinkMachine& link = core.Link();
    TSpoolerSetup& setup = core.Setup();
    TSpoolerMessageScript boxes;
};

}  // namespace tolver::testing
