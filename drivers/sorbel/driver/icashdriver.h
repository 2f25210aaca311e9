#pragma once
// TCashDriverAuto: the automation object of the Sorbel library, class CashDriverAuto
// of the driver contract. A thin adapter: it owns one driver object, turns each
// contract member into one driver operation, every error into a failing HRESULT
// (except where a member ignores it), and carries the driver's events to its one
// connected sink. What every driver's automation object shares comes from
// TCashDriverAutoOf (drivers/contract/cashdriverauto.h).

#include <functional>
#include <memory>

#include "drivers/contract/cashdriverauto.h"
#include "drivers/contract/sorbel_tlb.h"
#include "drivers/sorbel/driver/samser350f.h"

namespace tolver {

class TSamsER350FProtocol;

class TCashDriverAuto final : public TCashDriverAutoOf<ICashDriverAuto, TSamsER350F> {
public:
    using ProtocolFactory = std::function<std::unique_ptr<TSamsER350FProtocol>()>;

    // makeProtocol: the engine of the driver object; by default one on the real line.
    explicit TCashDriverAuto(ProtocolFactory makeProtocol = {});
    ~TCashDriverAuto() override;

    HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override;
    HRESULT get_Constraints(Variant* Value) override;
    HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) override;
    HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                   const std::string& Description, bool Return, std::int32_t* Value) override;
    HRESULT get_BeginMsg(std::string* Value) override;
    HRESULT get_CashModelDescription(std::string* Value) override;

private:
    std::unique_ptr<TSamsER350F> MakeDriver() override;
    void ShowSettings() override;
    void TakeSettings() override;
    void ShowAdvSettings() override;
    void TakeAdvSettings() override;

    ProtocolFactory makeProtocol_;
};

}  // namespace tolver
