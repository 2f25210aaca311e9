// The Merrow library: the in-process server of the cash statement
// ("Merrow.MerrowReport") in the reports component category.

#include "reports/merrow/merrowreport.h"
#include "reports/registration.h"

namespace tolver {
namespace {

ComModule& Module() {
    static ComModule module({MerrowReportClass()});
    return module;
}

}  // namespace
}  // namespace tolver

TOLVER_REPORT_SERVER_EXPORTS(tolver::Module())
