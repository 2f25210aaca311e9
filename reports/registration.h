#pragma once
// Registration of a report module: the standard registration of its class and its
// entry in the host's reports component category, as one change of the registry
// store (a failure of either step leaves the store as it was and is reported).

#include "platform/com/comcat.h"
#include "platform/com/comserv.h"

namespace tolver {

// Puts the class into the category (Register) or takes it out and deletes its
// "Implemented Categories" key; the category itself stays. Raises on failure.
// manager: the category manager to use; the runtime's own when null.
void RegisterClassCategory(const GUID& classId, const GUID& categoryId, const std::string& description,
                           bool Register, ICatRegister* manager = nullptr);

// DllRegisterServer and DllUnregisterServer of a report module. Unregistering a
// module that is not registered succeeds.
HRESULT RegisterReportServer(ComModule& module, ICatRegister* manager = nullptr) noexcept;
HRESULT UnregisterReportServer(ComModule& module, ICatRegister* manager = nullptr) noexcept;

}  // namespace tolver

#define TOLVER_REPORT_SERVER_EXPORTS(module)                                                          \
    TOLVER_COM_CLASS_EXPORTS(module)                                                                  \
    TOLVER_EXPORT ::tolver::HRESULT DllRegisterServer() { return ::tolver::RegisterReportServer(module); } \
    TOLVER_EXPORT ::tolver::HRESULT DllUnregisterServer() { return ::tolver::UnregisterReportServer(module); }
