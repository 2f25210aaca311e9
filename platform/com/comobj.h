#pragma once
// Implementations of interfaces.
//
// TComObject<I1, I2, ...> implements IUnknown for an object that answers the listed
// interfaces and every interface they derive from (the first one also stands for
// IUnknown, the object's identity); one reference count serves them all and the
// object deletes itself when it drops to 0. An object starts with no reference:
// hold it in a ComPtr at once (MakeComObject does).
//
// TAutoObject<Default, ...> adds IDispatch answered from the static type
// information of the default interface (a dual interface), so that one
// implementation serves early-bound calls through the vtable and late-bound calls
// by name or DISPID.
//
//   class TMyAuto final : public TAutoObject<IMyAuto> {
//   public:
//       HRESULT get_Name(std::string* Value) override { return Guard([&] { *Value = name_; }); }
//   };

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/com/comptr.h"
#include "platform/com/typeinfo.h"

namespace tolver {

class ComModule;
class TComClassFactory;
struct ComClass;

namespace detail {

// Finds iid on interface I or the interfaces it derives from.
template <class I>
bool MatchInterface(I* p, const GUID& iid, void*& out) {
    if (iid == I::IID) {
        out = p;
        return true;
    }
    if constexpr (requires { typename I::Base; })
        return MatchInterface<typename I::Base>(p, iid, out);
    else
        return false;
}

}  // namespace detail

class TComObjectBase {
public:
    TComObjectBase() = default;
    TComObjectBase(const TComObjectBase&) = delete;
    TComObjectBase& operator=(const TComObjectBase&) = delete;
    virtual ~TComObjectBase();

    // Called once after construction by the class factory (and MakeComObject), before
    // the object is handed out; the place for work that calls virtual operations.
    virtual void Initialize() {}

    // QueryInterface: sets *object and adds a reference, or E_NOINTERFACE.
    virtual HRESULT ObjQueryInterface(const GUID& iid, void** object) = 0;
    std::uint32_t ObjAddRef() noexcept { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t ObjRelease() noexcept;
    std::uint32_t RefCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }

    // The class that a class factory made this object for; null for an object made
    // otherwise.
    const ComClass* Class() const { return class_; }

private:
    friend class ComModule;
    friend class TComClassFactory;

    std::atomic<std::uint32_t> refCount_{0};
    const ComClass* class_ = nullptr;
    ComModule* module_ = nullptr;  // counts its live objects
};

template <class... Interfaces>
class TComObject : public TComObjectBase, public Interfaces... {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override { return ObjQueryInterface(iid, object); }
    std::uint32_t AddRef() override { return ObjAddRef(); }
    std::uint32_t Release() override { return ObjRelease(); }

    HRESULT ObjQueryInterface(const GUID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        void* p = nullptr;
        if (!(detail::MatchInterface<Interfaces>(static_cast<Interfaces*>(this), iid, p) || ...))
            return QueryOtherInterface(iid, object);
        ObjAddRef();
        *object = p;
        return S_OK;
    }

    // The object's identity.
    IUnknown* Identity() { return Identity<Interfaces...>(); }

protected:
    // Answers identifiers beyond the listed interfaces (as QueryInterface does: sets
    // *object and adds a reference).
    virtual HRESULT QueryOtherInterface(const GUID& iid, void** object) { return E_NOINTERFACE; }

private:
    template <class First, class...>
    IUnknown* Identity() {
        return static_cast<First*>(this);
    }
};

template <class Default, class... Others>
class TAutoObject : public TComObject<Default, Others...> {
public:
    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t index, LCID, const InterfaceInfo** info) override {
        if (!info) return E_POINTER;
        *info = index == 0 ? &DispatchTypeInfo() : nullptr;
        return index == 0 ? S_OK : E_INVALIDARG;
    }
    HRESULT GetIDsOfNames(const GUID&, const std::string* names, std::uint32_t count, LCID, DISPID* ids) override {
        return DispGetIDsOfNames(DispatchTypeInfo(), names, count, ids);
    }
    HRESULT Invoke(DISPID id, const GUID&, LCID, std::uint16_t flags, DispParams* params, Variant* result,
                   ExcepInfo* excep, std::uint32_t* argErr) override {
        return DispInvoke(DispatchTypeInfo(), static_cast<IDispatch*>(static_cast<Default*>(this)), id, flags, params,
                          result, excep, argErr);
    }

protected:
    // The table that IDispatch answers from: the default interface's.
    virtual const InterfaceInfo& DispatchTypeInfo() const { return Default::TypeInfo(); }
};

// A new object of class T in a ComPtr, initialized.
template <class T, class... A>
ComPtr<T> MakeComObject(A&&... args) {
    ComPtr<T> p(new T(std::forward<A>(args)...));
    p->Initialize();
    return p;
}

}  // namespace tolver
