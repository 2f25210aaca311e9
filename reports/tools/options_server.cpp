// Options.srv: the stand-in options server ("Options.OptionsAuto") that tells the
// report plug-ins where the payment archive is.

#include "platform/com/comserv.h"
#include "reports/options.h"

namespace tolver {
namespace {

ComModule& Module() {
    static ComModule module({{.clsid = CLSID_OptionsAuto,
                              .progId = "Options.OptionsAuto",
                              .description = "OptionsAuto Object",
                              .create = &CreateObjectOf<TOptionsStandIn>}});
    return module;
}

}  // namespace
}  // namespace tolver

TOLVER_COM_SERVER_EXPORTS(tolver::Module())
