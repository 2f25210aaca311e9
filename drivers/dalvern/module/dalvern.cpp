// The Dalvern library: the in-process server of RegFisc2160CashDriverAuto for the
// fiscal register "РФ 2160" ("Dalvern.RegFisc2160CashDriverAuto") and the plain
// exports through which the host discovers it.

#include "drivers/contract/libinfo.h"
#include "drivers/dalvern/driver/regfisc2160.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"
#include "platform/com/comserv.h"

namespace tolver {
namespace {

ComModule& Module() {
    static ComModule module({{.clsid = CLSID_RegFisc2160CashDriverAuto,
                              .progId = kDalvernProgId,
                              .description = "RegFisc2160CashDriverAuto Object",
                              .create = &CreateObjectOf<TRegFisc2160CashDriverAuto>,
                              .typeLib = &DalvernTypeLibrary()}});
    return module;
}

}  // namespace
}  // namespace tolver

TOLVER_COM_SERVER_EXPORTS(tolver::Module())

TOLVER_DRIVER_LIBRARY_EXPORTS(tolver::kDalvernName, tolver::GetRegFisc2160DefaultProperties)
