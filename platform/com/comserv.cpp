#include "platform/com/comserv.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/com/comreg.h"

namespace tolver {
namespace {

std::string VersionKey(const TypeLibInfo& lib) {
    return std::to_string(lib.major) + "." + std::to_string(lib.minor);
}

void WriteDefault(TRegistry& reg, const std::string& key, const std::string& value) {
    detail::CreateKey(reg, key);
    reg.WriteString("", value);
}

}  // namespace

HRESULT TComClassFactory::QueryInterface(const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IUnknown::IID && iid != IClassFactory::IID) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
}

HRESULT TComClassFactory::CreateInstance(IUnknown* outer, const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Guard([&]() -> HRESULT {
        if (!class_.create) return CLASS_E_CLASSNOTAVAILABLE;
        TComObjectBase* obj = class_.create();
        if (module_)
            module_->Attach(*obj, class_);
        else
            obj->class_ = &class_;
        // Held while it initializes, so that a failure frees it.
        obj->ObjAddRef();
        HRESULT hr = Guard([&] { obj->Initialize(); });
        if (SUCCEEDED(hr)) hr = obj->ObjQueryInterface(iid, object);
        obj->ObjRelease();
        return hr;
    });
}

HRESULT TComClassFactory::LockServer(bool lock) {
    if (module_) module_->Lock(lock);
    return S_OK;
}

ComModule::ComModule(std::vector<ComClass> classes) : classes_(std::move(classes)) {
    for (const ComClass& c : classes_) factories_.push_back(std::make_unique<TComClassFactory>(c, this));
}

ComModule::~ComModule() = default;

void ComModule::Attach(TComObjectBase& object, const ComClass& cls) {
    object.class_ = &cls;
    object.module_ = this;
    objects_.fetch_add(1);
}

HRESULT ComModule::GetClassObject(const GUID& clsid, const GUID& iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const auto& f : factories_)
        if (f->Class().clsid == clsid) return f->QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ComModule::CanUnloadNow() const noexcept { return objects_.load() == 0 && locks_.load() <= 0 ? S_OK : S_FALSE; }

std::string ComModule::FileName() const {
    // The module is the file that holds the classes' creation functions.
    for (const ComClass& c : classes_) {
        Dl_info info{};
        if (c.create && dladdr(reinterpret_cast<const void*>(c.create), &info) && info.dli_fname) {
            std::error_code ec;
            const auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, ec), ec);
            return ec ? std::string(info.dli_fname) : path.string();
        }
    }
    return {};
}

HRESULT ComModule::RegisterServer() noexcept {
    return Guard([&] {
        const std::string path = FileName();
        if (path.empty()) throw Exception("The module of the classes is unknown");
        RegistryTransaction transaction;
        TRegistry reg(HKEY_CLASSES_ROOT);
        std::set<const TypeLibInfo*> libs;
        for (const ComClass& c : classes_) {
            const std::string clsid = GUIDToString(c.clsid);
            const std::string key = "\\CLSID\\" + clsid;
            WriteDefault(reg, key, c.description);
            WriteDefault(reg, key + "\\InprocServer32", path);
            reg.WriteString("ThreadingModel", c.threadingModel);
            if (!c.progId.empty()) {
                if (!detail::ValidProgId(c.progId)) throw Exception("Invalid ProgID \"" + c.progId + "\"");
                WriteDefault(reg, key + "\\ProgID", c.progId);
                WriteDefault(reg, "\\" + c.progId, c.description);
                WriteDefault(reg, "\\" + c.progId + "\\CLSID", clsid);
            }
            if (c.typeLib) {
                WriteDefault(reg, key + "\\TypeLib", GUIDToString(c.typeLib->libid));
                libs.insert(c.typeLib);
            }
        }
        const std::string folder = std::filesystem::path(path).parent_path().string();
        for (const TypeLibInfo* lib : libs) {
            const std::string key = "\\TypeLib\\" + GUIDToString(lib->libid) + "\\" + VersionKey(*lib);
            WriteDefault(reg, key, lib->help);
            WriteDefault(reg, key + "\\" + detail::LcidName(lib->lcid) + "\\linux", path);
            WriteDefault(reg, key + "\\FLAGS", "0");
            WriteDefault(reg, key + "\\HELPDIR", folder);
        }
        transaction.Commit();
    });
}

HRESULT ComModule::UnregisterServer() noexcept {
    return Guard([&] {
        RegistryTransaction transaction;
        TRegistry reg(HKEY_CLASSES_ROOT);
        std::set<const TypeLibInfo*> libs;
        for (const ComClass& c : classes_) {
            const std::string clsid = GUIDToString(c.clsid);
            // A ProgID that names another class by now is that class's.
            if (detail::ValidProgId(c.progId) && reg.OpenKey("\\" + c.progId + "\\CLSID", false)) {
                GUID named;
                if (TryStringToGUID(reg.ReadString(""), named) && named == c.clsid) reg.DeleteKey("\\" + c.progId);
            }
            reg.DeleteKey("\\CLSID\\" + clsid);
            if (c.typeLib) libs.insert(c.typeLib);
        }
        for (const TypeLibInfo* lib : libs) {
            const std::string key = "\\TypeLib\\" + GUIDToString(lib->libid);
            reg.DeleteKey(key + "\\" + VersionKey(*lib));
            if (reg.OpenKey(key, false) && !reg.HasSubKeys() && reg.GetValueNames().empty()) {
                reg.CloseKey();
                reg.DeleteKey(key);
            }
        }
        transaction.Commit();
    });
}

}  // namespace tolver
