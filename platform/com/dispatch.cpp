#include "platform/com/dispatch.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/com/typeinfo.h"

namespace tolver {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Case-insensitive (ASCII) three-way comparison.
int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool KindMatches(MemberKind kind, std::uint16_t flags) {
    switch (kind) {
        case MemberKind::Method: return (flags & DISPATCH_METHOD) != 0;
        case MemberKind::PropertyGet: return (flags & DISPATCH_PROPERTYGET) != 0;
        case MemberKind::PropertyPut: return (flags & DISPATCH_PROPERTYPUT) != 0;
    }
    return false;
}

}  // namespace

MemberInfo MemberInfo::ResultAs(VarType type) && {
    if (HasResult()) params.back().type = type;
    return std::move(*this);
}

MemberInfo Event(const char* name, DISPID dispid, std::vector<ParamInfo> params) {
    MemberInfo m;
    m.name = name;
    m.dispid = dispid;
    m.kind = MemberKind::Method;
    m.params = std::move(params);
    return m;
}

InterfaceInfo::InterfaceInfo(std::string name, const GUID& iid, InterfaceKind kind, std::string help,
                             std::vector<MemberInfo> members)
    : name_(std::move(name)), iid_(iid), kind_(kind), help_(std::move(help)), members_(std::move(members)) {
    Index();
}

InterfaceInfo::InterfaceInfo(std::string name, const GUID& iid, std::string help, const InterfaceInfo& same)
    : name_(std::move(name)), iid_(iid), kind_(same.kind_), help_(std::move(help)), members_(same.members_) {
    Index();
}

void InterfaceInfo::Index() {
    for (std::uint32_t i = 0; i < members_.size(); ++i) {
        byName_.emplace_back(members_[i].name, members_[i].dispid);
        byId_.emplace_back(members_[i].dispid, i);
    }
    std::sort(byName_.begin(), byName_.end(),
              [](const auto& a, const auto& b) { return CompareNoCase(a.first, b.first) < 0; });
    // A property's get and put share one name and DISPID.
    byName_.erase(std::unique(byName_.begin(), byName_.end(),
                              [](const auto& a, const auto& b) { return CompareNoCase(a.first, b.first) == 0; }),
                  byName_.end());
    std::stable_sort(byId_.begin(), byId_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

DISPID InterfaceInfo::IdOfName(std::string_view name) const {
    const auto it = std::lower_bound(byName_.begin(), byName_.end(), name,
                                     [](const auto& e, std::string_view n) { return CompareNoCase(e.first, n) < 0; });
    return it != byName_.end() && CompareNoCase(it->first, name) == 0 ? it->second : DISPID_UNKNOWN;
}

const MemberInfo* InterfaceInfo::Find(DISPID id, std::uint16_t flags) const {
    auto it = std::lower_bound(byId_.begin(), byId_.end(), id, [](const auto& e, DISPID d) { return e.first < d; });
    for (; it != byId_.end() && it->first == id; ++it) {
        const MemberInfo& m = members_[it->second];
        if (KindMatches(m.kind, flags)) return &m;
    }
    return nullptr;
}

const MemberInfo* InterfaceInfo::FindByName(std::string_view name, MemberKind kind) const {
    for (const MemberInfo& m : members_)
        if (m.kind == kind && CompareNoCase(m.name, name) == 0) return &m;
    return nullptr;
}

HRESULT DispGetIDsOfNames(const InterfaceInfo& info, const std::string* names, std::uint32_t count, DISPID* ids) {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_POINTER;
    std::fill(ids, ids + count, DISPID_UNKNOWN);
    ids[0] = info.IdOfName(names[0]);
    if (ids[0] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    // Parameter names are those of the method or getter (a put names only its value).
    const MemberInfo* m = info.Find(ids[0], DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    if (!m) m = info.Find(ids[0], DISPATCH_PROPERTYPUT);
    HRESULT hr = S_OK;
    for (std::uint32_t i = 1; i < count; ++i) {
        for (std::size_t p = 0; m && p < m->params.size(); ++p)
            if (CompareNoCase(m->params[p].name, names[i]) == 0) ids[i] = static_cast<DISPID>(p);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispInvoke(const InterfaceInfo& info, IDispatch* self, DISPID id, std::uint16_t flags, DispParams* params,
                   Variant* result, ExcepInfo* excep, std::uint32_t* argErr) {
    if (result) result->clear();
    const MemberInfo* m = info.Find(id, flags);
    if (!m || !m->invoke) return DISP_E_MEMBERNOTFOUND;
    DispParams none;
    if (!params) params = &none;
    if (params->namedCount > params->count || (params->namedCount && !params->named) ||
        (params->count && !params->args))
        return E_INVALIDARG;
    const std::size_t inCount = m->InCount();
    if (params->count != inCount) return DISP_E_BADPARAMCOUNT;

    // Each parameter's argument: the positional ones in order, then the named ones.
    std::array<Variant*, kMaxDispParams> slots{};
    const std::uint32_t positional = params->count - params->namedCount;
    for (std::uint32_t i = 0; i < positional; ++i) slots[i] = &params->args[i];
    for (std::uint32_t j = 0; j < params->namedCount; ++j) {
        DISPID p = params->named[j];
        if (p == DISPID_PROPERTYPUT && m->kind == MemberKind::PropertyPut) p = 0;
        if (p < 0 || static_cast<std::size_t>(p) >= inCount || slots[p]) return DISP_E_PARAMNOTFOUND;
        slots[p] = &params->args[positional + j];
    }

    constexpr std::uint32_t kNone = ~0u;
    std::uint32_t bad = kNone;
    HRESULT hr;
    ClearErrorInfo();  // no earlier failure's text may label this one
    try {
        hr = m->invoke(self, slots.data(), result, &bad);
    } catch (...) {
        hr = HandleException();  // a member that let an error escape
    }
    if (bad != kNone) {
        if (argErr && bad < inCount) *argErr = static_cast<std::uint32_t>(slots[bad] - params->args);
        return DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        if (excep) {
            excep->source = info.Name();
            excep->scode = hr;
            if (!TakeErrorInfo(hr, excep->description) || excep->description.empty())
                excep->description = HResultText(hr);
        }
        return DISP_E_EXCEPTION;
    }
    return hr;
}

namespace {

Variant Call(IDispatch* object, const std::string& name, std::uint16_t flags, std::span<Variant> args) {
    if (!object) throw EOleError(name + ": " + HResultText(E_POINTER), E_POINTER);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id);
    if (FAILED(hr)) throw EOleError(name + ": " + HResultText(hr), hr);
    const DISPID putId = DISPID_PROPERTYPUT;
    DispParams params{args.data(), static_cast<std::uint32_t>(args.size()), nullptr, 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.named = &putId;
        params.namedCount = 1;
    }
    Variant result;
    ExcepInfo excep;
    std::uint32_t argErr = 0;
    hr = object->Invoke(id, GUID_NULL, 0, flags, &params, &result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION && FAILED(excep.scode)) throw EOleError(excep.description, excep.scode);
    if (FAILED(hr)) throw EOleError(name + ": " + HResultText(hr), hr);
    return result;
}

}  // namespace

Variant DispatchGet(IDispatch* object, const std::string& name) {
    return Call(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
}

void DispatchPut(IDispatch* object, const std::string& name, const Variant& value) {
    Variant arg = value;
    Call(object, name, DISPATCH_PROPERTYPUT, std::span<Variant>(&arg, 1));
}

Variant DispatchCall(IDispatch* object, const std::string& name, std::span<Variant> args) {
    return Call(object, name, DISPATCH_METHOD, args);
}

Variant DispatchCall(IDispatch* object, const std::string& name, std::initializer_list<Variant> args) {
    std::vector<Variant> copy(args);
    return Call(object, name, DISPATCH_METHOD, copy);
}

HRESULT InvokeEvent(IDispatch* sink, DISPID id, std::span<Variant> args) noexcept {
    if (!sink) return E_POINTER;
    try {
        DispParams params{args.data(), static_cast<std::uint32_t>(args.size()), nullptr, 0};
        return sink->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    } catch (...) {
        return HandleException();
    }
}

}  // namespace tolver
