#include "platform/com/comcat.h"

#include <cstdio>
#include <cstdlib>

#include "platform/com/comreg.h"

namespace tolver {
namespace {

using detail::CreateKey;
using detail::LcidName;

const char* const kCategories = "\\Component Categories";

std::string CategoryKey(const GUID& catid) { return std::string(kCategories) + "\\" + GUIDToString(catid); }

std::string ImplKey(const GUID& clsid) { return "\\CLSID\\" + GUIDToString(clsid) + "\\Implemented Categories"; }

// The GUIDs among the subkey names of key.
std::vector<GUID> GuidSubKeys(TRegistry& reg, const std::string& key) {
    std::vector<GUID> list;
    if (!reg.OpenKey(key, false)) return list;
    for (const std::string& name : reg.GetKeyNames()) {
        GUID g;
        if (TryStringToGUID(name, g)) list.push_back(g);
    }
    return list;
}

// The description of the current key in lcid, else in its first locale.
bool Description(TRegistry& reg, LCID lcid, CategoryInfo& info) {
    const std::string wanted = LcidName(lcid);
    std::string found;
    for (const std::string& name : reg.GetValueNames()) {
        if (reg.GetDataType(name) != RegDataType::String) continue;
        unsigned long code = 0;
        if (std::sscanf(name.c_str(), "%lx", &code) != 1) continue;
        if (found.empty() || name == wanted) found = name;
        if (name == wanted) break;
    }
    if (found.empty()) return false;
    info.lcid = static_cast<LCID>(std::strtoul(found.c_str(), nullptr, 16));
    info.description = reg.ReadString(found);
    return true;
}

// Carries out f(registry, item) for each of count items in one transaction.
template <class T, class F>
HRESULT WriteEach(std::uint32_t count, const T* items, F&& f) {
    if (count && !items) return E_POINTER;
    return Guard([&] {
        RegistryTransaction transaction;
        TRegistry reg(HKEY_CLASSES_ROOT);
        for (std::uint32_t i = 0; i < count; ++i) f(reg, items[i]);
        transaction.Commit();
    });
}

class TCategoryManager final : public TComObject<ICatRegister, ICatInformation> {
public:
    HRESULT RegisterCategories(std::uint32_t count, const CategoryInfo* categories) override {
        return WriteEach(count, categories, [](TRegistry& reg, const CategoryInfo& c) {
            CreateKey(reg, CategoryKey(c.catid));
            reg.WriteString(LcidName(c.lcid), c.description);
        });
    }

    HRESULT UnRegisterCategories(std::uint32_t count, const GUID* catids) override {
        return WriteEach(count, catids, [](TRegistry& reg, const GUID& catid) { reg.DeleteKey(CategoryKey(catid)); });
    }

    HRESULT RegisterClassImplCategories(const GUID& clsid, std::uint32_t count, const GUID* catids) override {
        return WriteEach(count, catids, [&](TRegistry& reg, const GUID& catid) {
            CreateKey(reg, ImplKey(clsid) + "\\" + GUIDToString(catid));
        });
    }

    HRESULT UnRegisterClassImplCategories(const GUID& clsid, std::uint32_t count, const GUID* catids) override {
        return WriteEach(count, catids, [&](TRegistry& reg, const GUID& catid) {
            reg.DeleteKey(ImplKey(clsid) + "\\" + GUIDToString(catid));
        });
    }

    HRESULT EnumCategories(LCID lcid, std::vector<CategoryInfo>* categories) override {
        if (!categories) return E_POINTER;
        return Guard([&] {
            categories->clear();
            TRegistry reg(HKEY_CLASSES_ROOT);
            for (const GUID& catid : GuidSubKeys(reg, kCategories)) {
                CategoryInfo info{catid, lcid, {}};
                if (reg.OpenKey(CategoryKey(catid), false)) Description(reg, lcid, info);
                categories->push_back(std::move(info));
            }
        });
    }

    HRESULT GetCategoryDesc(const GUID& catid, LCID lcid, std::string* description) override {
        if (!description) return E_POINTER;
        return Guard([&]() -> HRESULT {
            TRegistry reg(HKEY_CLASSES_ROOT);
            if (!reg.OpenKey(CategoryKey(catid), false)) return CAT_E_CATIDNOEXIST;
            CategoryInfo info{catid, lcid, {}};
            if (!Description(reg, lcid, info)) return CAT_E_NODESCRIPTION;
            *description = std::move(info.description);
            return S_OK;
        });
    }

    HRESULT EnumClassesOfCategories(std::uint32_t count, const GUID* implemented,
                                    std::vector<GUID>* classes) override {
        if (!classes || (count && !implemented)) return E_POINTER;
        if (count == 0) return E_INVALIDARG;
        return Guard([&] {
            classes->clear();
            TRegistry reg(HKEY_CLASSES_ROOT);
            for (const GUID& clsid : GuidSubKeys(reg, "\\CLSID")) {
                bool all = true;
                for (std::uint32_t i = 0; all && i < count; ++i)
                    all = reg.KeyExists(ImplKey(clsid) + "\\" + GUIDToString(implemented[i]));
                if (all) classes->push_back(clsid);
            }
        });
    }

    HRESULT EnumImplCategoriesOfClass(const GUID& clsid, std::vector<GUID>* categories) override {
        if (!categories) return E_POINTER;
        return Guard([&] {
            TRegistry reg(HKEY_CLASSES_ROOT);
            *categories = GuidSubKeys(reg, ImplKey(clsid));
        });
    }
};

}  // namespace

TComClassFactory& detail::CategoryManagerFactory() {
    static const ComClass cls{.clsid = CLSID_StdComponentCategoriesMgr,
                              .progId = {},
                              .description = "Component Categories Manager",
                              .create = &CreateObjectOf<TCategoryManager>};
    static TComClassFactory factory(cls);
    return factory;
}

}  // namespace tolver
