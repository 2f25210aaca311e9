#pragma once
// Type library "Dalvern": the driver's own dual interface IRegFisc2160CashDriverAuto,
// which repeats ICashDriverAuto member for member (slots, DISPIDs, parameter names)
// and so shares its method table, the events interface the driver names in EventIID,
// and the creatable class RegFisc2160CashDriverAuto.

#include "drivers/contract/sorbel_tlb.h"

namespace tolver {

inline constexpr GUID LIBID_Dalvern = MakeGUID("{305A58FC-4036-48D1-8132-2BB3337CB5CF}");
inline constexpr GUID CLSID_RegFisc2160CashDriverAuto = MakeGUID("{04F6444A-9921-4A7D-B11E-EA301CE96F0D}");
inline constexpr GUID GUID_DalvernTPayType = MakeGUID("{737F5C5F-9165-4059-8842-2FD61AD43AA0}");

// No members of its own: an object that answers it answers ICashDriverAuto with the
// same vtable.
class IRegFisc2160CashDriverAuto : public ICashDriverAuto {
public:
    static constexpr GUID IID = MakeGUID("{C63302B2-E4EC-411D-ACD9-03C5DB64D7AA}");
    using Base = ICashDriverAuto;
    static const InterfaceInfo& TypeInfo();

protected:
    ~IRegFisc2160CashDriverAuto() = default;
};

// The events of ICashDriverAutoEvents, by the same DISPIDs and arguments.
class IRegFisc2160CashDriverAutoEvents : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{7D198E65-EF35-4020-88D9-CAD20B5ED401}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

protected:
    ~IRegFisc2160CashDriverAutoEvents() = default;
};

// Version 1.0, locale 1033.
const TypeLibInfo& DalvernTypeLibrary();

}  // namespace tolver
