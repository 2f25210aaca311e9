#pragma once
// The settings of the Samsung ER-350F STU driver: the basic set (print time-outs,
// exchange priority, key-position check mode, firmware version), exchanged as the
// driver's Properties blob, and the advanced set (the register's nine system modes
// and the keyboard lock), exchanged as its AdvProperties blob. The host stores both
// blobs without looking inside.

#include <cstdint>
#include <memory>

#include "common/cashgl.h"

namespace tolver {

// What the library's GetDefaultProperties reports, and the display name of GetLibInfo.
inline constexpr std::int32_t kSorbelCashType = 1;
inline constexpr const char* kSorbelProgId = "Sorbel.CashDriverAuto";
inline constexpr const char* kSorbelName = "Samsung ER-350F STU";

// CashType and AutoObjectName of this driver; FilePath stays as it is.
void GetSorbelDefaultProperties(TCashDriverProperties& properties);

// Basic blob: [base form, WaitCheckOutPrint, WaitCheckOutLongPrint, Model, Priority,
// KeyCheckMode]; the own fields travel only inside the array (they are not
// published, so the registry walkers see only the base part).
class TCashSamsER350FDriverProperties : public TCashDriverProperties {
public:
    std::int32_t WaitCheckOutPrint = 400;       // completion wait after a receipt command, ms
    std::int32_t WaitCheckOutLongPrint = 2000;  // completion wait after a report, ms
    std::uint8_t Priority = 3;                  // exchange priority 0..6
    std::uint8_t KeyCheckMode = 0;              // 0: check the key before every key, 1: before each operation
    std::uint8_t Model = 2;                     // firmware-version row 0..3

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const override;
    // High bound 4 or more; element 5 (KeyCheckMode) is optional.
    void SetFromVariant(const Variant& value) override;
};

// Advanced blob: [SysCond1 .. SysCond9, BlockKeyboard].
class TCashSamsER350FDriverAdvProperties : public TProperties {
public:
    std::uint8_t SysCond1 = 0;  // do not print zero totals
    std::uint8_t SysCond2 = 0;  // print subtotals
    std::uint8_t SysCond3 = 0;  // cash drawer declaration
    std::uint8_t SysCond4 = 0;  // rounding, index 0..5
    std::uint8_t SysCond5 = 0;  // model 0: post-payment; others: prices include VAT (the price choice)
    std::uint8_t SysCond6 = 0;  // cash back on a check payment
    std::uint8_t SysCond7 = 0;  // cashier mode, index 0..1
    std::uint8_t SysCond8 = 3;  // model 0: lines between receipts; others: print copy to the PC
    std::uint8_t SysCond9 = 0;  // "open drawer" message on the "#" key
    bool BlockKeyboard = false;  // Restore locks the keyboard instead of unlocking it

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const;
    // High bound exactly 9; fields are stored one by one, so a bad element leaves
    // the earlier ones loaded.
    void SetFromVariant(const Variant& value);

    // System mode n (1..9); 0 for other n.
    std::uint8_t SysCond(int n) const;
};

}  // namespace tolver
