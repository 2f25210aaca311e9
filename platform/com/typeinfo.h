#pragma once
// Static type information: one table per interface, listing every member with its
// name, DISPID, vtable slot, kind (method, property get, property put), parameter
// names and automation types. The table drives GetIDsOfNames and Invoke (through a
// thunk per member that converts the arguments and calls the member through the
// interface's vtable, so that both ways of calling reach one implementation), the
// registration of type libraries, and the tests of slots and DISPIDs.
//
// An interface declares its members as virtual functions returning HRESULT, in slot
// order; value parameters are inputs, a trailing pointer parameter is the result
// (retval), other pointer parameters are in/out. Types map to automation types:
//   std::int32_t VT_I4, std::int16_t VT_I2, std::uint8_t VT_UI1, double VT_R8,
//   Currency VT_CY, bool VT_BOOL, std::string VT_BSTR, Variant VT_VARIANT,
//   an enumeration VT_I4 (named by an AutomationTypeName(E) overload, found by ADL).
// Its table is built once with the builders below, e.g.
//   static const InterfaceInfo info("ICashDriverAuto", ICashDriverAuto::IID, InterfaceKind::Dual, "...", {
//       Get<&ICashDriverAuto::get_PropertiesForm>("PropertiesForm", 1, 7),
//       Method<&ICashDriverAuto::AddInfo>("AddInfo", 33, 35, "Value", "Value1"),
//   });
// A dispatch-only (events) interface lists Event(...) members, which have no slot.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/com/dispatch.h"

namespace tolver {

inline constexpr VarType VT_VOID = static_cast<VarType>(0x0018);
inline constexpr VarType VT_HRESULT = static_cast<VarType>(0x0019);

enum class InterfaceKind : std::uint8_t { Custom, Dual, DispatchOnly };
enum class MemberKind : std::uint8_t { Method, PropertyGet, PropertyPut };
enum class ParamDir : std::uint8_t { In, InOut, RetVal };

struct ParamInfo {
    ParamInfo() = default;
    ParamInfo(std::string n, VarType t, ParamDir d = ParamDir::In, std::string tn = {})
        : name(std::move(n)), type(t), dir(d), typeName(std::move(tn)) {}

    std::string name;
    VarType type = VT_VARIANT;
    ParamDir dir = ParamDir::In;
    std::string typeName;  // the enumeration's name for an enumerated parameter, else empty
};

// Calls one member: args[i] is the caller's argument for parameter i (null for the
// retval); *badArg is set to the parameter whose argument did not convert.
using InvokeThunk = HRESULT (*)(IDispatch* self, Variant* const* args, Variant* result, std::uint32_t* badArg);

inline constexpr std::size_t kMaxDispParams = 32;

struct MemberInfo {
    std::string name;
    DISPID dispid = DISPID_UNKNOWN;
    int slot = -1;  // vtable slot counted from 0 (IUnknown's three first); -1 without a vtable
    MemberKind kind = MemberKind::Method;
    std::vector<ParamInfo> params;  // in declaration order, the retval last
    InvokeThunk invoke = nullptr;   // null for an event
    int compiledSlot = -1;          // the slot that the compiler gave the C++ function

    bool HasResult() const { return !params.empty() && params.back().dir == ParamDir::RetVal; }
    std::size_t InCount() const { return params.size() - (HasResult() ? 1 : 0); }
    // The declared type of the result (the retval's), VT_VOID without one.
    VarType ResultType() const { return HasResult() ? params.back().type : VT_VOID; }
    // The same member with its result declared as another automation type (the
    // integer results that a type library declares as VT_HRESULT).
    MemberInfo ResultAs(VarType type) &&;
};

class InterfaceInfo {
public:
    InterfaceInfo(std::string name, const GUID& iid, InterfaceKind kind, std::string help,
                  std::vector<MemberInfo> members);
    // An interface that repeats another's members under its own name and identifier.
    InterfaceInfo(std::string name, const GUID& iid, std::string help, const InterfaceInfo& same);
    InterfaceInfo(const InterfaceInfo&) = delete;  // its index points into its own members
    InterfaceInfo& operator=(const InterfaceInfo&) = delete;

    const std::string& Name() const { return name_; }
    const GUID& IID() const { return iid_; }
    InterfaceKind Kind() const { return kind_; }
    const std::string& Help() const { return help_; }
    const std::vector<MemberInfo>& Members() const { return members_; }

    // The DISPID of a member name (any case); DISPID_UNKNOWN when there is none.
    DISPID IdOfName(std::string_view name) const;
    // The member that answers a call of id with these DISPATCH_ flags, or null.
    const MemberInfo* Find(DISPID id, std::uint16_t flags) const;
    // The member of this name and kind, or null.
    const MemberInfo* FindByName(std::string_view name, MemberKind kind) const;

private:
    void Index();

    std::string name_;
    GUID iid_;
    InterfaceKind kind_;
    std::string help_;
    std::vector<MemberInfo> members_;
    std::vector<std::pair<std::string_view, DISPID>> byName_;  // sorted, case-insensitive
    std::vector<std::pair<DISPID, std::uint32_t>> byId_;       // sorted by DISPID
};

struct EnumInfo {
    std::string name;
    GUID guid;
    std::vector<std::pair<std::string, std::int32_t>> values;
};

struct CoClassInfo {
    std::string name;
    GUID clsid;
    std::string help;
    const InterfaceInfo* defaultInterface = nullptr;
    const InterfaceInfo* defaultSource = nullptr;  // the events interface, or null
};

struct TypeLibInfo {
    std::string name;
    std::string help;
    GUID libid;
    std::uint16_t major = 1;
    std::uint16_t minor = 0;
    LCID lcid = 0;
    std::vector<const InterfaceInfo*> interfaces;
    std::vector<CoClassInfo> coclasses;
    std::vector<const EnumInfo*> enums;
};

// GetIDsOfNames and Invoke over a table, for objects that implement IDispatch.
HRESULT DispGetIDsOfNames(const InterfaceInfo& info, const std::string* names, std::uint32_t count, DISPID* ids);
HRESULT DispInvoke(const InterfaceInfo& info, IDispatch* self, DISPID id, std::uint16_t flags, DispParams* params,
                   Variant* result, ExcepInfo* excep, std::uint32_t* argErr);

namespace detail {

// The slot of a virtual member function, read from its pointer as the Itanium C++
// ABI (g++ and clang on Linux) lays it out: 1 + the byte offset into the vtable.
template <class F>
int VirtualSlot(F fn) {
    static_assert(sizeof(F) == 2 * sizeof(std::uintptr_t));
    std::uintptr_t rep[2];
    std::memcpy(rep, &fn, sizeof rep);
    if ((rep[0] & 1) == 0) return -1;  // not virtual
    return static_cast<int>((rep[0] - 1) / sizeof(void*));
}

template <class V, class = void>
struct ValueTraits;

template <>
struct ValueTraits<std::int32_t> {
    static constexpr VarType vt = VT_I4;
    static std::int32_t From(const Variant& v) { return v.toInt32(); }
};
template <>
struct ValueTraits<std::int16_t> {
    static constexpr VarType vt = VT_I2;
    static std::int16_t From(const Variant& v) { return v.toInt16(); }
};
template <>
struct ValueTraits<std::uint8_t> {
    static constexpr VarType vt = VT_UI1;
    static std::uint8_t From(const Variant& v) { return v.toUInt8(); }
};
template <>
struct ValueTraits<double> {
    static constexpr VarType vt = VT_R8;
    static double From(const Variant& v) { return v.toDouble(); }
};
template <>
struct ValueTraits<Currency> {
    static constexpr VarType vt = VT_CY;
    static Currency From(const Variant& v) { return v.toCurrency(); }
};
template <>
struct ValueTraits<bool> {
    static constexpr VarType vt = VT_BOOL;
    static bool From(const Variant& v) { return v.toBool(); }
};
template <>
struct ValueTraits<std::string> {
    static constexpr VarType vt = VT_BSTR;
    static std::string From(const Variant& v) { return v.toString(); }
};
template <>
struct ValueTraits<Variant> {
    static constexpr VarType vt = VT_VARIANT;
    static Variant From(const Variant& v) { return v; }
};
template <class E>
struct ValueTraits<E, std::enable_if_t<std::is_enum_v<E>>> {
    static constexpr VarType vt = VT_I4;
    static E From(const Variant& v) { return static_cast<E>(v.toInt32()); }
};

template <class V>
Variant ToVariant(const V& v) {
    if constexpr (std::is_enum_v<V>)
        return Variant(static_cast<std::int32_t>(v));
    else
        return Variant(v);
}

template <class V>
std::string TypeNameOf() {
    if constexpr (requires { AutomationTypeName(V{}); })
        return AutomationTypeName(V{});
    else
        return {};
}

// How one C++ parameter type travels: its value type and whether it is a pointer.
template <class A>
struct Param {
    using Value = std::remove_cvref_t<std::remove_pointer_t<A>>;
    static constexpr bool pointer = std::is_pointer_v<A>;
    // A const Variant& input is passed on without a copy.
    static constexpr bool byRef = !pointer && std::is_same_v<std::remove_cvref_t<A>, Variant> && std::is_reference_v<A>;
    using Store = std::conditional_t<byRef, const Variant*, Value>;
};

template <class... A>
constexpr bool LastIsPointer() {
    if constexpr (sizeof...(A) == 0)
        return false;
    else
        return std::is_pointer_v<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>;
}

template <auto Fn>
struct Thunk;

template <class C, class... A, HRESULT (C::*Fn)(A...)>
struct Thunk<Fn> {
    static constexpr std::size_t N = sizeof...(A);
    static constexpr bool hasResult = LastIsPointer<A...>();
    static_assert(N <= kMaxDispParams);

    template <std::size_t I>
    static auto Load(Variant* const* args, std::uint32_t& at) {
        using P = Param<std::tuple_element_t<I, std::tuple<A...>>>;
        typename P::Store s{};
        if constexpr (P::byRef) {
            s = args[I];
        } else if (args[I] && !(hasResult && I == N - 1)) {
            s = ValueTraits<typename P::Value>::From(*args[I]);
        }
        at = I + 1;
        return s;
    }

    template <std::size_t I, class S>
    static decltype(auto) Pass(S& s) {
        using P = Param<std::tuple_element_t<I, std::tuple<A...>>>;
        if constexpr (P::pointer)
            return &s;
        else if constexpr (P::byRef)
            return static_cast<const Variant&>(*s);
        else
            return static_cast<S&>(s);
    }

    template <std::size_t... I>
    static HRESULT Call(IDispatch* self, [[maybe_unused]] Variant* const* args, [[maybe_unused]] Variant* result,
                        std::uint32_t* badArg, std::index_sequence<I...>) {
        using Stores = std::tuple<typename Param<A>::Store...>;
        std::optional<Stores> stores;
        std::uint32_t at = 0;
        try {
            stores.emplace(Stores{Load<I>(args, at)...});  // braced: converted left to right
        } catch (const Exception&) {
            *badArg = at;
            return DISP_E_TYPEMISMATCH;
        }
        const HRESULT hr = (static_cast<C*>(self)->*Fn)(Pass<I>(std::get<I>(*stores))...);
        if (FAILED(hr)) return hr;
        (WriteBack<I>(std::get<I>(*stores), args, result), ...);
        return hr;
    }

    template <std::size_t I, class S>
    static void WriteBack(const S& s, Variant* const* args, Variant* result) {
        using P = Param<std::tuple_element_t<I, std::tuple<A...>>>;
        if constexpr (P::pointer) {
            Variant* out = hasResult && I == N - 1 ? result : args[I];
            if (out) *out = ToVariant(s);
        }
    }

    static HRESULT Invoke(IDispatch* self, Variant* const* args, Variant* result, std::uint32_t* badArg) {
        return Call(self, args, result, badArg, std::index_sequence_for<A...>{});
    }

    static std::vector<ParamInfo> Params(std::initializer_list<const char*> names) {
        std::vector<ParamInfo> params;
        [[maybe_unused]] const char* const* name = names.begin();
        [[maybe_unused]] std::size_t i = 0;
        (
            [&] {
                using P = Param<A>;
                params.emplace_back(name[i], ValueTraits<typename P::Value>::vt,
                                    !P::pointer ? ParamDir::In
                                                : (hasResult && i == N - 1 ? ParamDir::RetVal : ParamDir::InOut),
                                    TypeNameOf<typename P::Value>());
                ++i;
            }(),
            ...);
        return params;
    }
};

template <auto Fn>
MemberInfo Member(const char* name, DISPID dispid, int slot, MemberKind kind,
                  std::initializer_list<const char*> paramNames) {
    MemberInfo m;
    m.name = name;
    m.dispid = dispid;
    m.slot = slot;
    m.kind = kind;
    m.params = Thunk<Fn>::Params(paramNames);
    m.invoke = &Thunk<Fn>::Invoke;
    m.compiledSlot = VirtualSlot(Fn);
    return m;
}

}  // namespace detail

// A method; paramNames name every C++ parameter, the retval's last.
template <auto Fn, class... Names>
MemberInfo Method(const char* name, DISPID dispid, int slot, Names... paramNames) {
    static_assert(sizeof...(Names) == detail::Thunk<Fn>::N, "one name for each parameter");
    return detail::Member<Fn>(name, dispid, slot, MemberKind::Method, {paramNames...});
}

// A property getter: one pointer parameter, the value.
template <auto Fn>
MemberInfo Get(const char* name, DISPID dispid, int slot, const char* valueName = "Value") {
    static_assert(detail::Thunk<Fn>::N == 1 && detail::Thunk<Fn>::hasResult, "a getter takes one pointer");
    return detail::Member<Fn>(name, dispid, slot, MemberKind::PropertyGet, {valueName});
}

// A property setter: one value parameter.
template <auto Fn>
MemberInfo Put(const char* name, DISPID dispid, int slot, const char* valueName = "Value") {
    static_assert(detail::Thunk<Fn>::N == 1 && !detail::Thunk<Fn>::hasResult, "a setter takes one value");
    return detail::Member<Fn>(name, dispid, slot, MemberKind::PropertyPut, {valueName});
}

// A member of a dispatch-only interface (an event): no slot, no implementation.
MemberInfo Event(const char* name, DISPID dispid, std::vector<ParamInfo> params = {});

}  // namespace tolver
