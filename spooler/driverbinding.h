#pragma once
// The live driver: its automation object, created by its ProgID from the setup's
// driver choice, the client wrapper attached to it on the events interface that the
// driver names, and the limits of the register model it reports. The object and its
// events identifier are kept in the setup's driver part (DriverObject, EventIID).

#include <cstdint>
#include <functional>
#include <string>

#include "common/cashgl.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "spooler/cashdriverauto.h"

namespace tolver {

// The cause of a connect when the driver fails Init (or an older driver lacks a member).
inline constexpr const char* kTextDriverUnavailable = "Объект КА недоступен";

class TDriverBinding {
public:
    // Creates the driver object of a ProgID (CreateOleObject unless replaced).
    using TObjectFactory = std::function<ComPtr<IDispatch>(const std::string& progId)>;

    TDriverBinding(TSpoolerSetup& setup, TObjectFactory createObject = {});
    TDriverBinding(const TDriverBinding&) = delete;
    TDriverBinding& operator=(const TDriverBinding&) = delete;

    TCashDriverAuto1& Driver() { return driver_; }
    // The driver's limits (all 0 before a driver is attached).
    const TCashDriverConstraints& Constraints() const { return constraints_; }
    // The live driver object, or null.
    ComPtr<IDispatch> DriverObject() const;

    // Creates the driver object of the setup's driver choice and reads its EventIID;
    // without a driver (or one that cannot be made) there is none.
    void CreateDriverObject();
    void ReleaseDriverObject();
    // Attaches the wrapper to the driver object and reads the limits: 0, or -1 on any
    // failure.
    std::int32_t AttachDriver();
    // Re-reads the limits (also on the driver's model change); an error keeps the old.
    void ReadConstraints();
    // The port settings, then Init with the stored properties: Init's result, or -1
    // with kTextDriverUnavailable as the cause when the driver fails.
    std::int32_t InitDriver(std::string& Cause);
    // End the driver's work and the wrapper's connection; never fail.
    void DoneDriver();
    void DisconnectWrapper();
    // The apply step's part of the driver: the whole setup to the driver, and its
    // advanced settings back into the setup; errors are swallowed.
    void HandOverSetup();

private:
    TSpoolerSetup& setup_;
    TObjectFactory createObject_;
    TCashDriverAuto1 driver_;
    TCashDriverConstraints constraints_;
};

}  // namespace tolver
