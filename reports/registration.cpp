#include "reports/registration.h"

#include "platform/com/cocreate.h"
#include "platform/registry/registry.h"
#include "platform/variant/utf.h"
#include "reports/reportintf.h"

namespace tolver {

void RegisterClassCategory(const GUID& classId, const GUID& categoryId, const std::string& description,
                           bool Register, ICatRegister* manager) {
    ComPtr<ICatRegister> categories(manager);
    if (!categories)
        OleCheck(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, ICatRegister::IID,
                                  reinterpret_cast<void**>(categories.put())));
    if (Register) {
        const CategoryInfo info{categoryId, kReportsCategoryLcid, Utf8Left(description, 127)};
        OleCheck(categories->RegisterCategories(1, &info));
        OleCheck(categories->RegisterClassImplCategories(classId, 1, &categoryId));
    } else {
        OleCheck(categories->UnRegisterClassImplCategories(classId, 1, &categoryId));
        TRegistry reg(HKEY_CLASSES_ROOT);
        reg.DeleteKey("\\CLSID\\" + GUIDToString(classId) + "\\Implemented Categories");
    }
}

namespace {

HRESULT Register(ComModule& module, ICatRegister* manager, bool on) noexcept {
    return Guard([&] {
        RegistryTransaction transaction;
        const HRESULT hr = on ? module.RegisterServer() : module.UnregisterServer();
        if (FAILED(hr)) return hr;
        for (const ComClass& c : module.Classes())
            RegisterClassCategory(c.clsid, CATID_Reports, kReportsCategoryName, on, manager);
        transaction.Commit();
        return hr;
    });
}

}  // namespace

HRESULT RegisterReportServer(ComModule& module, ICatRegister* manager) noexcept {
    return Register(module, manager, true);
}

HRESULT UnregisterReportServer(ComModule& module, ICatRegister* manager) noexcept {
    return Register(module, manager, false);
}

}  // namespace tolver
