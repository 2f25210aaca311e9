#pragma once
// The settings of the Samsung ER-350F STU driver: the basic set (print time-outs,
// exchange priority, key-position check mode, firmware version), exchanged as the
// driver's Properties blob, and the advanced set (the register's nine system modes
// and the keyboard lock), exchanged as its AdvProperties blob. The host stores both
// blobs without looking inside.

#include <array>
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

// Basic blob: the own fields travel only inside the array (they are not published, so
// the registry walkers see only the base part).
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
    void SetFromVariant(const Variant& value) override;

    // High bound 4 or more; Model comes before Priority, KeyCheckMode is optional.
    static constexpr auto Fields() {
        using C = TCashSamsER350FDriverProperties;
        return FieldTableOf<C, kOpenEnded>(BaseForm<TCashDriverProperties>(),
                                           Field("WaitCheckOutPrint", &C::WaitCheckOutPrint),
                                           Field("WaitCheckOutLongPrint", &C::WaitCheckOutLongPrint),
                                           Field("Model", &C::Model), Field("Priority", &C::Priority),
                                           Field("KeyCheckMode", &C::KeyCheckMode, kOptional));
    }
};

// The register's system modes by their numbers 1 to 9.
inline constexpr int kSysCondCount = 9;

// Advanced blob: SysCond1 .. SysCond9, then BlockKeyboard.
class TCashSamsER350FDriverAdvProperties : public TProperties {
public:
    // SysConds[n - 1] is system mode n, the stored SysCondn:
    //   1 do not print zero totals, 2 print subtotals, 3 cash drawer declaration,
    //   4 rounding (index 0..5), 5 model 0: post-payment, others: prices include VAT
    //   (the price choice), 6 cash back on a check payment, 7 cashier mode (index
    //   0..1), 8 model 0: lines between receipts, others: print copy to the PC, 9 "open
    //   drawer" message on the "#" key.
    std::array<std::uint8_t, kSysCondCount> SysConds = {0, 0, 0, 0, 0, 0, 0, 3, 0};
    bool BlockKeyboard = false;  // Restore locks the keyboard instead of unlocking it

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const;
    void SetFromVariant(const Variant& value);

    // System mode n (1..9); 0 for other n.
    std::uint8_t SysCond(int n) const;
    // Sets system mode n (1..9); other n are ignored.
    void SetSysCond(int n, std::uint8_t value);

    // High bound exactly 9; the fields are read one by one, so a bad element leaves the
    // earlier ones loaded.
    static constexpr auto Fields() {
        using C = TCashSamsER350FDriverAdvProperties;
        return FieldTableOf<C, kExactLength>(Field("SysConds", &C::SysConds),
                                             Field("BlockKeyboard", &C::BlockKeyboard));
    }
};

}  // namespace tolver
