#pragma once
// The settings of the skeleton driver: the basic blob (the contract's fields and a
// priority), the advanced blob (one flag) and its one firmware row. A driver's own
// fields are declared once, in the class's field table (common/fieldtable.h).

#include <cstdint>
#include <memory>

#include "common/cashgl.h"

namespace tolver {

// What GetDefaultProperties reports, and the display name of GetLibInfo; a driver
// takes a cash type of its own.
inline constexpr std::int32_t kSkeletonCashType = 100;
inline constexpr const char* kSkeletonProgId = "Skeleton.CashDriverAuto";
inline constexpr const char* kSkeletonName = "Skeleton";

void GetSkeletonDefaultProperties(TCashDriverProperties& properties);

class TCashSkeletonDriverProperties : public TCashDriverProperties {
public:
    std::uint8_t Priority = 3;  // pump priority: 0 idle .. 3 normal .. 6 time critical

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    static constexpr auto Fields() {
        using C = TCashSkeletonDriverProperties;
        return FieldTableOf<C, kOpenEnded>(BaseForm<TCashDriverProperties>(),
                                           Field("Priority", &C::Priority, kOptional));
    }
};

class TCashSkeletonDriverAdvProperties : public TProperties {
public:
    bool OpenMoneyBox = false;

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    Variant GetAsVariant() const;
    void SetFromVariant(const Variant& value);

    static constexpr auto Fields() {
        using C = TCashSkeletonDriverAdvProperties;
        return FieldTableOf<C, kOpenEnded>(Field("OpenMoneyBox", &C::OpenMoneyBox, kOptional));
    }
};

// The limits and the item lists of the register.
const TCashDriverConstraints& SkeletonVersion();

}  // namespace tolver
