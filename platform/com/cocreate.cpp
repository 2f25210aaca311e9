#include "platform/com/cocreate.h"

#include <dlfcn.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/com/comcat.h"
#include "platform/com/comreg.h"
#include "platform/com/comserv.h"
#include "platform/registry/registry.h"

namespace tolver {
namespace {

struct ClassEntry {
    std::uint32_t cookie;
    GUID clsid;
    ComPtr<IUnknown> factory;
};

class ClassTable {
public:
    ClassTable() { Add(CLSID_StdComponentCategoriesMgr, &detail::CategoryManagerFactory()); }

    std::uint32_t Add(const GUID& clsid, IUnknown* factory) {
        std::lock_guard lock(mutex_);
        entries_.push_back({next_, clsid, ComPtr<IUnknown>(factory)});
        return next_++;
    }
    bool Remove(std::uint32_t cookie) {
        ComPtr<IUnknown> gone;  // released outside the lock
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->cookie == cookie) {
                gone = std::move(it->factory);
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }
    ComPtr<IUnknown> Find(const GUID& clsid) {
        std::lock_guard lock(mutex_);
        for (const ClassEntry& e : entries_)
            if (e.clsid == clsid) return e.factory;
        return {};
    }

private:
    std::mutex mutex_;
    std::vector<ClassEntry> entries_;
    std::uint32_t next_ = 1;
};

ClassTable& Classes() {
    static ClassTable table;
    return table;
}

// Modules loaded for their classes, by registered path; they stay loaded.
void* LoadModule(const std::string& path, std::string& error) {
    static std::mutex mutex;
    static std::unordered_map<std::string, void*> modules;
    std::lock_guard lock(mutex);
    if (const auto it = modules.find(path); it != modules.end()) return it->second;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* e = dlerror();
        error = e ? e : path;
        return nullptr;
    }
    modules.emplace(path, handle);
    return handle;
}

HRESULT Fail(HRESULT hr, const std::string& text) {
    SetErrorInfo(hr, text);
    return hr;
}

}  // namespace

HRESULT CLSIDFromProgID(const std::string& progId, GUID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = GUID_NULL;
    if (!detail::ValidProgId(progId)) return CO_E_CLASSSTRING;
    return Guard([&]() -> HRESULT {
        TRegistry reg(HKEY_CLASSES_ROOT);
        if (!reg.OpenKey("\\" + progId + "\\CLSID", false)) return CO_E_CLASSSTRING;
        const RegValue named = reg.ReadValue("");
        return named.type == RegDataType::String && TryStringToGUID(named.text, *clsid) ? S_OK : CO_E_CLASSSTRING;
    });
}

HRESULT CoGetClassObject(const GUID& clsid, const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Guard([&]() -> HRESULT {
        if (ComPtr<IUnknown> factory = Classes().Find(clsid)) return factory->QueryInterface(iid, object);
        TRegistry reg(HKEY_CLASSES_ROOT);
        const std::string key = "\\CLSID\\" + GUIDToString(clsid) + "\\InprocServer32";
        if (!reg.OpenKey(key, false)) return REGDB_E_CLASSNOTREG;
        const RegValue server = reg.ReadValue("");
        if (server.type != RegDataType::String || server.text.empty()) return REGDB_E_CLASSNOTREG;
        const std::string& path = server.text;
        std::string error;
        void* module = LoadModule(path, error);
        if (!module) return Fail(CO_E_DLLNOTFOUND, HResultText(CO_E_DLLNOTFOUND) + ": " + error);
        const auto entry = reinterpret_cast<DllGetClassObjectProc>(dlsym(module, "DllGetClassObject"));
        if (!entry) return Fail(CO_E_ERRORINDLL, HResultText(CO_E_ERRORINDLL) + ": " + path);
        return entry(clsid, iid, object);
    });
}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    void* p = nullptr;
    const HRESULT hr = CoGetClassObject(clsid, IClassFactory::IID, &p);
    if (FAILED(hr)) return hr;
    if (!p) return E_NOINTERFACE;
    const auto factory = ComPtr<IClassFactory>::Adopt(static_cast<IClassFactory*>(p));
    return factory->CreateInstance(outer, iid, object);
}

HRESULT CoRegisterClassObject(const GUID& clsid, IUnknown* factory, std::uint32_t* cookie) {
    if (!factory || !cookie) return E_POINTER;
    return Guard([&] { *cookie = Classes().Add(clsid, factory); });
}

HRESULT CoRevokeClassObject(std::uint32_t cookie) {
    return Guard([&] { return Classes().Remove(cookie) ? S_OK : E_INVALIDARG; });
}

ComPtr<IUnknown> CreateComObject(const GUID& clsid) {
    void* p = nullptr;
    OleCheck(CoCreateInstance(clsid, nullptr, IUnknown::IID, &p));
    return ComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(p));
}

ComPtr<IDispatch> CreateOleObject(const std::string& progId) {
    GUID clsid;
    OleCheck(CLSIDFromProgID(progId, &clsid));
    void* p = nullptr;
    OleCheck(CoCreateInstance(clsid, nullptr, IDispatch::IID, &p));
    return ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(p));
}

}  // namespace tolver
