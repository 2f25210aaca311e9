#pragma once
// The driver object of the skeleton driver: what a driver adds to the contract, with
// every operation refusing (-1, nothing queued). A driver copies this folder and fills
// the operations in: each checks its arguments against Version(), queues its commands
// on the engine and answers at once with the command id, 0 or -1; the engine's
// results reach the host through Events.

#include <cstdint>
#include <memory>
#include <string>

#include "common/cashgl.h"
#include "drivers/contract/cashdriverobject.h"
#include "drivers/contract/driverframes.h"
#include "drivers/skeleton/engine/skeletonprotocol.h"
#include "drivers/skeleton/forms/skeletonforms.h"
#include "drivers/skeleton/settings/skeletongl.h"

namespace tolver {

using TSkeletonFrames = TDriverFrames<
    TSettingsFrame<TfrmSkeletonProperties, &TfrmSkeletonProperties::PropertiesToControls,
                   &TfrmSkeletonProperties::ControlsToProperties>,
    TSettingsFrame<TfrmSkeletonAdvProperties, &TfrmSkeletonAdvProperties::PropertiesToControls,
                   &TfrmSkeletonAdvProperties::ControlsToProperties>>;

class TSkeletonDriver : public TSkeletonFrames {
public:
    // The contract's own interface and events; a driver with members of its own
    // derives an interface from ICashDriverAuto (dalvern/driver/dalvern_tlb.h).
    using AutoInterface = ICashDriverAuto;
    static constexpr GUID EventsIID = ICashDriverAutoEvents::IID;

    // protocol: the engine to drive; by default one on the default line.
    explicit TSkeletonDriver(std::unique_ptr<TSkeletonProtocol> protocol = nullptr);
    ~TSkeletonDriver();

    TCashDriverEvents Events;
    TSpoolerSetup Setup;

    TSkeletonProtocol& Protocol() { return *protocol_; }
    TCashSkeletonDriverProperties& Settings() { return settings_; }
    TCashSkeletonDriverAdvProperties& AdvSettings() { return advSettings_; }
    const TCashDriverConstraints& Version() const { return SkeletonVersion(); }
    const TCashDriverConstraints* Constraints() const { return &Version(); }
    std::string CashModelDescription() const { return std::string(kSkeletonName) + '\x01' + Version().VersionName; }
    std::string GetBeginMsg() const { return {}; }

    bool GetInInteraction() const { return protocol_->PortOpen(); }
    std::string GetID() const { return {}; }
    std::string GetTrashID() const { return GetID(); }

    std::int32_t Init(std::string& cause);
    void Done() { protocol_->Close(); }

    std::int32_t GetXReport(const std::string&) { return -1; }
    std::int32_t GetZReport(const std::string&) { return -1; }
    std::int32_t GetProgram(const std::string&) { return -1; }
    std::int32_t ProgramAfterReg(const std::string&) { return 0; }

    std::int32_t AddPayArt(std::int32_t, Currency, Currency) { return -1; }
    std::int32_t AddPayArtInt(std::int32_t, std::int32_t, Currency, Currency) { return -1; }
    std::int32_t AddPayArtFrac(std::int32_t, double, Currency, Currency) { return -1; }
    std::int32_t DelPayArt(Currency, Currency, std::int32_t) { return -1; }
    std::int32_t AddPayDep(const std::string&, double, Currency, Currency, std::int32_t) { return -1; }
    std::int32_t DelPayDep(Currency, Currency, std::int32_t) { return -1; }
    std::int32_t SetArt(std::int32_t, std::int32_t, std::int32_t, Currency, const std::string&, bool) { return -1; }
    std::int32_t AddCash(TPayType, const std::string&, Currency) { return -1; }
    std::int32_t ReturnCash(TPayType, const std::string&, Currency) { return -1; }
    std::int32_t CloseCheck(TPayType, Currency) { return -1; }
    std::int32_t OpenCheck(const std::string&) { return -1; }
    std::int32_t AddInfo(const std::string&) { return -1; }
    std::int32_t RegOp(std::int32_t, const std::string&) { return -1; }
    std::int32_t UnRegOp() { return -1; }
    std::int32_t Restore() { return 0; }
    std::int32_t Terminate() { return 0; }

private:
    TCashSkeletonDriverProperties settings_;
    TCashSkeletonDriverAdvProperties advSettings_;
    std::unique_ptr<TSkeletonProtocol> protocol_;
};

static_assert(CashDriverObject<TSkeletonDriver>);

using TSkeletonDriverAuto = TCashDriverAutoOf<TSkeletonDriver>;

}  // namespace tolver
