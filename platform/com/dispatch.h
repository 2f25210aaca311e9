#pragma once
// IDispatch: late binding by name and by dispatch number (DISPID).
//
// Arguments travel in declaration order (the first declared argument first). A
// caller may name some of them: the last namedCount entries of args are then the
// named ones, named[i] giving the position of args[count - namedCount + i] in the
// member's parameter list (as GetIDsOfNames returns it). An in/out parameter's new
// value is written back into the caller's argument; the result parameter (retval)
// comes back in *result.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "platform/com/hresult.h"
#include "platform/com/unknown.h"
#include "platform/variant/variant.h"

namespace tolver {

using DISPID = std::int32_t;
using LCID = std::uint32_t;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;

struct DispParams {
    Variant* args = nullptr;
    std::uint32_t count = 0;
    const DISPID* named = nullptr;
    std::uint32_t namedCount = 0;
};

// What a member that failed during Invoke reported (Invoke then returns
// DISP_E_EXCEPTION): its failing code and its text.
struct ExcepInfo {
    std::string source;
    std::string description;
    HRESULT scode = S_OK;
};

class InterfaceInfo;

// Slots 3 to 6.
class IDispatch : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{00020400-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
    // The static type-information table of the interface that this IDispatch serves.
    virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, const InterfaceInfo** info) = 0;
    // names[0] is a member, names[1..] its parameters; ids receives the member's
    // DISPID and the parameters' positions (DISPID_UNKNOWN, with DISP_E_UNKNOWNNAME,
    // for a name it does not know).
    virtual HRESULT GetIDsOfNames(const GUID& iid, const std::string* names, std::uint32_t count, LCID lcid,
                                  DISPID* ids) = 0;
    // result, excep and argErr may be null. On DISP_E_TYPEMISMATCH *argErr is the
    // index into params->args of the argument that did not convert.
    virtual HRESULT Invoke(DISPID id, const GUID& iid, LCID lcid, std::uint16_t flags, DispParams* params,
                           Variant* result, ExcepInfo* excep, std::uint32_t* argErr) = 0;

protected:
    ~IDispatch() = default;
};

// Late-bound calls by name for clients. Every failure raises EOleError: a member's
// own failure with its text and code, any other with the runtime's text.
Variant DispatchGet(IDispatch* object, const std::string& name);
void DispatchPut(IDispatch* object, const std::string& name, const Variant& value);
// In/out arguments receive their new values.
Variant DispatchCall(IDispatch* object, const std::string& name, std::span<Variant> args);
Variant DispatchCall(IDispatch* object, const std::string& name, std::initializer_list<Variant> args = {});

// Raises an event on a sink: Invoke of id as a method with the arguments in
// declaration order. Returns the sink's result; an exception thrown out of a sink is
// turned into its result too.
HRESULT InvokeEvent(IDispatch* sink, DISPID id, std::span<Variant> args) noexcept;

}  // namespace tolver
