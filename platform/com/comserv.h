#pragma once
// In-process servers: class factories, the classes of a module and its standard
// exports.
//
// A module (a .csh or .rpt library) lists its classes in one ComModule and exports
// the four standard entry points through the macros below:
//
//   ComModule& Module() {
//       static ComModule module({{.clsid = CLSID_CashDriverAuto,
//                                 .progId = "Sorbel.CashDriverAuto",
//                                 .description = "CashDriverAuto Object",
//                                 .create = &CreateObjectOf<TCashDriverAuto>,
//                                 .typeLib = &SorbelTypeLibrary()}});
//       return module;
//   }
//   TOLVER_COM_SERVER_EXPORTS(Module())
//
// Registration writes, under HKEY_CLASSES_ROOT of the registry store:
//   CLSID\{clsid}                   (default) description
//   CLSID\{clsid}\InprocServer32    (default) full path of the module, ThreadingModel
//   CLSID\{clsid}\ProgID            (default) ProgID
//   CLSID\{clsid}\TypeLib           (default) {libid}, for a class with a type library
//   <ProgID>                        (default) description
//   <ProgID>\CLSID                  (default) {clsid}
//   TypeLib\{libid}\<major>.<minor> (default) help string; subkeys <lcid>\linux
//                                   (the module), FLAGS, HELPDIR
// and unregistration removes exactly these keys.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/comobj.h"
#include "platform/com/typeinfo.h"

// An entry point of a module: C linkage, visible although the module hides
// everything else.
#define TOLVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace tolver {

class IClassFactory : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{00000001-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // CLASS_E_NOAGGREGATION when outer is given.
    virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0;
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

struct ComClass {
    GUID clsid;
    std::string progId;       // empty for a class without one
    std::string description;  // the value of the class key and of the ProgID key
    TComObjectBase* (*create)() = nullptr;
    const TypeLibInfo* typeLib = nullptr;  // registered with the class, when given
    std::string threadingModel = "Apartment";
};

// The creation function of a class with a default constructor.
template <class T>
TComObjectBase* CreateObjectOf() {
    return new T();
}

// The class factory of one class: makes its objects, initializes them and hands out
// the requested interface. It lives as long as its owner (a module, or whoever
// registers it in the process's class table); its reference count does not free it.
class TComClassFactory final : public IClassFactory {
public:
    explicit TComClassFactory(const ComClass& cls, ComModule* module = nullptr) : class_(cls), module_(module) {}

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override;
    HRESULT LockServer(bool lock) override;

    const ComClass& Class() const { return class_; }

private:
    const ComClass& class_;
    ComModule* module_;
};

class ComModule {
public:
    explicit ComModule(std::vector<ComClass> classes);
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;
    ~ComModule();

    // DllGetClassObject: the factory of clsid (CLASS_E_CLASSNOTAVAILABLE for another).
    HRESULT GetClassObject(const GUID& clsid, const GUID& iid, void** object) noexcept;
    // DllCanUnloadNow: S_OK when no object of the module lives and no lock is held,
    // else S_FALSE.
    HRESULT CanUnloadNow() const noexcept;
    // DllRegisterServer and DllUnregisterServer (see above); a failure leaves the
    // registry as it was and its text in the thread's error information.
    HRESULT RegisterServer() noexcept;
    HRESULT UnregisterServer() noexcept;

    const std::vector<ComClass>& Classes() const { return classes_; }
    // The full path of the module file that holds the classes.
    std::string FileName() const;
    int ObjectCount() const { return objects_.load(); }
    int LockCount() const { return locks_.load(); }

private:
    friend class TComObjectBase;
    friend class TComClassFactory;

    void Attach(TComObjectBase& object, const ComClass& cls);
    void Detach() { objects_.fetch_sub(1); }
    void Lock(bool lock) { locks_.fetch_add(lock ? 1 : -1); }

    std::vector<ComClass> classes_;
    std::vector<std::unique_ptr<TComClassFactory>> factories_;
    std::atomic<int> objects_{0};
    std::atomic<int> locks_{0};
};

// The standard entry points of a module, for dlsym.
using DllGetClassObjectProc = HRESULT (*)(const GUID& clsid, const GUID& iid, void** object);
using DllCanUnloadNowProc = HRESULT (*)();
using DllRegisterServerProc = HRESULT (*)();
using DllUnregisterServerProc = HRESULT (*)();

}  // namespace tolver

// DllGetClassObject and DllCanUnloadNow of a module over a ComModule expression.
#define TOLVER_COM_CLASS_EXPORTS(module)                                                              \
    TOLVER_EXPORT ::tolver::HRESULT DllGetClassObject(const ::tolver::GUID& clsid,                    \
                                                      const ::tolver::GUID& iid, void** object) {     \
        return ::tolver::Guard([&] { return (module).GetClassObject(clsid, iid, object); });          \
    }                                                                                                 \
    TOLVER_EXPORT ::tolver::HRESULT DllCanUnloadNow() {                                               \
        return ::tolver::Guard([&] { return (module).CanUnloadNow(); });                              \
    }

// DllRegisterServer and DllUnregisterServer doing the standard registration alone.
#define TOLVER_COM_REGISTER_EXPORTS(module)                                                           \
    TOLVER_EXPORT ::tolver::HRESULT DllRegisterServer() {                                             \
        return ::tolver::Guard([&] { return (module).RegisterServer(); });                            \
    }                                                                                                 \
    TOLVER_EXPORT ::tolver::HRESULT DllUnregisterServer() {                                           \
        return ::tolver::Guard([&] { return (module).UnregisterServer(); });                          \
    }

#define TOLVER_COM_SERVER_EXPORTS(module) \
    TOLVER_COM_CLASS_EXPORTS(module)      \
    TOLVER_COM_REGISTER_EXPORTS(module)
