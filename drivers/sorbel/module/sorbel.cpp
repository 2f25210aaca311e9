// The Sorbel library: the in-process server of CashDriverAuto for the Samsung
// ER-350F STU ("Sorbel.CashDriverAuto") and the plain exports through which the
// host discovers it.

#include "drivers/contract/libinfo.h"
#include "drivers/sorbel/driver/samser350f.h"
#include "drivers/sorbel/driver/sorbel_typelib.h"
#include "drivers/sorbel/settings/samser350fsettings.h"
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

TOLVER_DRIVER_LIBRARY_EXPORTS(tolver::kSorbelName, tolver::GetSorbelDefaultProperties)
