// The Vora library: the in-process server of the payments statement
// ("Vora.VoraReport") in the reports component category.

#include "reports/registration.h"
#include "reports/vora/vorareport.h"

namespace tolver {
namespace {

ComModule& Module() {
    static ComModule module({VoraReportClass()});
    return module;
}

}  // namespace
}  // namespace tolver

TOLVER_REPORT_SERVER_EXPORTS(tolver::Module())
