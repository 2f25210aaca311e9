#pragma once
// The settings of the "РФ 2160" driver and the firmware versions of the register.
// The basic set (print waits, pump priority, the malformed-reply choice) is exchanged
// as the driver's Properties blob, the fiscal-mode set (taxpayer and registration
// codes, drawer, tax accumulation, cutter) as its AdvProperties blob; the host stores
// both without looking inside. The version table gives one TCashDriverConstraints row
// per known firmware; the protocol engine picks the row from the version the register
// reports, and row kRegFisc2160DefaultRow holds until then.

#include <cstdint>
#include <memory>
#include <string>

#include "common/cashgl.h"

namespace tolver {

// What the library's GetDefaultProperties reports, and the display name of GetLibInfo.
inline constexpr std::int32_t kDalvernCashType = 3;
inline constexpr const char* kDalvernProgId = "Dalvern.RegFisc2160CashDriverAuto";
inline constexpr const char* kDalvernName = "РФ 2160";

// CashType and AutoObjectName of this driver; nothing else changes.
void GetRegFisc2160DefaultProperties(TCashDriverProperties& properties);

// Basic blob. The own fields are not published: the registry walkers see only the
// base part, the whole set travels as the array.
class TCashRegFisc2160DriverProperties : public TCashDriverProperties {
public:
    std::int32_t WaitCheckOutPrint = 5;       // print-end wait of a receipt, s (edited 1..60)
    std::int32_t WaitCheckOutLongPrint = 30;  // print-end wait of a report, s (edited 10..90)
    std::uint8_t Priority = 3;                // pump priority: 0 idle .. 3 normal .. 6 time critical
    bool IgnoreReplyFormatError = false;      // a malformed reply completes the command with 1

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    // High bound 1 or more. The two waits are one optional step (without element 2
    // neither wait changes, without 3 only the long one is kept); the flag is optional
    // alone.
    static constexpr auto Fields() {
        using C = TCashRegFisc2160DriverProperties;
        return FieldTableOf<C, kOpenEnded>(BaseForm<TCashDriverProperties>(), Field("Priority", &C::Priority),
                                           Field("WaitCheckOutPrint", &C::WaitCheckOutPrint, kOptional),
                                           Field("WaitCheckOutLongPrint", &C::WaitCheckOutLongPrint, kChained),
                                           Field("IgnoreReplyFormatError", &C::IgnoreReplyFormatError, kOptional));
    }
};

// Fiscal-mode blob.
class TCashRegFisc2160DriverAdvProperties : public TProperties {
public:
    std::string TaxCode;           // taxpayer code, up to 14 characters
    std::string RegistrationCode;  // registration code, up to 14 characters
    bool OpenMoneyBox = true;
    bool TaxAccumulation = false;
    bool AutoCutOff = false;

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const;
    void SetFromVariant(const Variant& value);

    // High bound 1 or more; the two codes are required, each flag is optional alone.
    static constexpr auto Fields() {
        using C = TCashRegFisc2160DriverAdvProperties;
        return FieldTableOf<C, kOpenEnded>(Field("TaxCode", &C::TaxCode), Field("RegistrationCode", &C::RegistrationCode),
                                           Field("OpenMoneyBox", &C::OpenMoneyBox, kOptional),
                                           Field("TaxAccumulation", &C::TaxAccumulation, kOptional),
                                           Field("AutoCutOff", &C::AutoCutOff, kOptional));
    }
};

inline constexpr int kRegFisc2160VersionCount = 4;
// The row in force until the register has identified itself.
inline constexpr int kRegFisc2160DefaultRow = 3;

// The row of the firmware-version table, or nullptr when row is not 0..3.
const TCashDriverConstraints* RegFisc2160Version(int row);

}  // namespace tolver
