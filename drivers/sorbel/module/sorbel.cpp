// The Sorbel library: the in-process server of CashDriverAuto for the Samsung
// ER-350F STU ("Sorbel.CashDriverAuto") and the plain exports through which the
// host discovers it.

#include "drivers/contract/libinfo.h"
#include "drivers/sorbel/module/icashdriver.h"
#include "platform/com/comserv.h"

namespace tolver {
namespace {

ComModule& Module() {
    static ComModule module({{.clsid = CLSID_CashDriverAuto,
                              .progId = kSorbelProgId,
                              .description = "CashDriverAuto Object",
                              .create = &CreateObjectOf<TCashDriverAuto>,
                              .typeLib = &SorbelTypeLibrary()}});
    return module;
}

}  // namespace
}  // namespace tolver

TOLVER_COM_SERVER_EXPORTS(tolver::Module())

TOLVER_EXPORT void GetLibInfo(tolver::TLibInfo* Info) {
    try {
        Info->Kind = tolver::kLibKindCashDriver;
        Info->Name = tolver::kSorbelName;
        Info->Flag = 1;
    } catch (...) {
    }
}

TOLVER_EXPORT std::int32_t PropertiesDialog() { return -1; }

TOLVER_EXPORT void GetDefaultProperties(tolver::TCashDriverProperties* Properties) {
    try {
        tolver::GetSorbelDefaultProperties(*Properties);
    } catch (...) {
    }
}
