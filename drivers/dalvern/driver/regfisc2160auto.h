#pragma once
// TRegFisc2160CashDriverAuto: the automation object of the Dalvern library, class
// RegFisc2160CashDriverAuto. One method table answers both ICashDriverAuto and the
// library's own IRegFisc2160CashDriverAuto; events go out under
// IRegFisc2160CashDriverAutoEvents, which EventIID names. Each member forwards to the
// driver object; what all drivers share (settings blobs and their frames, the setup's
// advanced blob, Init, the split of a sale by its count, events) comes from
// TCashDriverAutoOf.

#include <functional>
#include <memory>

#include "drivers/contract/cashdriverauto.h"
#include "drivers/dalvern/driver/dalvern_tlb.h"
#include "drivers/dalvern/driver/regfisc2160.h"

namespace tolver {

class TRegFisc2160CashDriverAuto final : public TCashDriverAutoOf<IRegFisc2160CashDriverAuto, TRegFisc2160> {
public:
    using LinkFactory = std::function<std::unique_ptr<TRegFisc2160Link>()>;

    explicit TRegFisc2160CashDriverAuto(LinkFactory makeLink);
    ~TRegFisc2160CashDriverAuto() override;

    HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override;
    HRESULT get_Constraints(Variant* Value) override;
    HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) override;
    HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                   const std::string& Description, bool Return, std::int32_t* Value) override;
    HRESULT get_BeginMsg(std::string* Value) override;
    HRESULT get_CashModelDescription(std::string* Value) override;

private:
    std::unique_ptr<TRegFisc2160> MakeDriver() override;
    void ShowSettings() override;
    void TakeSettings() override;
    void ShowAdvSettings() override;
    void TakeAdvSettings() override;

    LinkFactory makeLink_;
};

}  // namespace tolver
