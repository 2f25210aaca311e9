#pragma once
// Type library "Sorbel": the contract's interfaces, its payment types and the
// creatable class CashDriverAuto, the Sorbel library's identity.

#include "drivers/contract/sorbel_tlb.h"

namespace tolver {

inline constexpr GUID LIBID_Sorbel = MakeGUID("{849C7020-B964-11D4-8407-00104B205A89}");
inline constexpr GUID CLSID_CashDriverAuto = MakeGUID("{849C7025-B964-11D4-8407-00104B205A89}");

// Version 1.0, locale 1033: ICashDriverAuto, ICashDriverAutoEvents, CashDriverAuto,
// TPayType.
const TypeLibInfo& SorbelTypeLibrary();

}  // namespace tolver
