#pragma once
// Component categories: which classes implement which category, kept in
// HKEY_CLASSES_ROOT of the registry store:
//   Component Categories\{catid}              value <lcid in hex>: description
//   CLSID\{clsid}\Implemented Categories\{catid}
// The component category manager (CLSID_StdComponentCategoriesMgr, a class of the
// runtime itself, created with CoCreateInstance) answers ICatRegister to write them
// and ICatInformation to enumerate them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/comserv.h"
#include "platform/com/dispatch.h"

namespace tolver {

inline constexpr GUID CLSID_StdComponentCategoriesMgr = MakeGUID("{0002E005-0000-0000-C000-000000000046}");

struct CategoryInfo {
    GUID catid;
    LCID lcid = 0;
    std::string description;
};

class ICatRegister : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{0002E012-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    virtual HRESULT RegisterCategories(std::uint32_t count, const CategoryInfo* categories) = 0;
    virtual HRESULT UnRegisterCategories(std::uint32_t count, const GUID* catids) = 0;
    virtual HRESULT RegisterClassImplCategories(const GUID& clsid, std::uint32_t count, const GUID* catids) = 0;
    virtual HRESULT UnRegisterClassImplCategories(const GUID& clsid, std::uint32_t count, const GUID* catids) = 0;

protected:
    ~ICatRegister() = default;
};

class ICatInformation : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{0002E013-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // Every registered category, with its description in lcid (or, lacking that,
    // in the first locale it has).
    virtual HRESULT EnumCategories(LCID lcid, std::vector<CategoryInfo>* categories) = 0;
    // CAT_E_CATIDNOEXIST for an unknown category, CAT_E_NODESCRIPTION for one
    // without any description.
    virtual HRESULT GetCategoryDesc(const GUID& catid, LCID lcid, std::string* description) = 0;
    // The classes that implement every one of the given categories (count > 0).
    virtual HRESULT EnumClassesOfCategories(std::uint32_t count, const GUID* implemented,
                                            std::vector<GUID>* classes) = 0;
    virtual HRESULT EnumImplCategoriesOfClass(const GUID& clsid, std::vector<GUID>* categories) = 0;

protected:
    ~ICatInformation() = default;
};

namespace detail {
// The factory of the component category manager, for the process's class table.
TComClassFactory& CategoryManagerFactory();
}  // namespace detail

}  // namespace tolver
