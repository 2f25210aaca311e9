#include "platform/com/connpoint.h"

#include <algorithm>

namespace tolver {

TConnectionPoint::TConnectionPoint(IConnectionPointContainer& container, const GUID& iid, SinkLimit limit,
                                   SinkChanged onChange)
    : container_(container), iid_(iid), limit_(limit), onChange_(std::move(onChange)) {}

TConnectionPoint::~TConnectionPoint() = default;

HRESULT TConnectionPoint::QueryInterface(const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IUnknown::IID && iid != IConnectionPoint::IID) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT TConnectionPoint::GetConnectionInterface(GUID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    container_.AddRef();
    *container = &container_;
    return S_OK;
}

HRESULT TConnectionPoint::Advise(IUnknown* sink, std::uint32_t* cookie) {
    if (cookie) *cookie = 0;
    if (!sink || !cookie) return E_POINTER;
    if (limit_ == SinkLimit::Single && !sinks_.empty()) return CONNECT_E_ADVISELIMIT;
    return Guard([&]() -> HRESULT {
        void* p = nullptr;
        if (FAILED(sink->QueryInterface(iid_, &p)) || !p) return CONNECT_E_CANNOTCONNECT;
        // The connection interface is a dispatch interface: its pointer is an IDispatch.
        ComPtr<IDispatch> events = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(p));
        const std::uint32_t c = nextCookie_++;
        sinks_.push_back({c, std::move(events)});
        const HRESULT hr = Guard([&] {
            if (onChange_) onChange_(sink);
        });
        if (FAILED(hr)) {
            // The object could not take the sink: it stays unconnected.
            std::erase_if(sinks_, [&](const Connection& x) { return x.cookie == c; });
            return hr;
        }
        *cookie = c;
        return S_OK;
    });
}

HRESULT TConnectionPoint::Unadvise(std::uint32_t cookie) {
    const auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const Connection& c) { return c.cookie == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    // The sink may be released only after it has left the list: its release may
    // call back into this connection point.
    ComPtr<IDispatch> gone = std::move(it->sink);
    sinks_.erase(it);
    return Guard([&] {
        if (onChange_) onChange_(nullptr);
    });
}

std::vector<ComPtr<IDispatch>> TConnectionPoint::Sinks() const {
    std::vector<ComPtr<IDispatch>> list;
    list.reserve(sinks_.size());
    for (const Connection& c : sinks_) list.push_back(c.sink);
    return list;
}

HRESULT TConnectionPoint::Raise(DISPID id, std::span<Variant> args) noexcept {
    if (sinks_.empty()) return S_OK;
    HRESULT first = S_OK;
    if (sinks_.size() == 1) {
        // The common case without a copy of the list; the reference keeps the sink
        // alive should it disconnect itself.
        ComPtr<IDispatch> sink = sinks_.front().sink;
        return InvokeEvent(sink.get(), id, args);
    }
    std::vector<ComPtr<IDispatch>> list;
    try {
        list = Sinks();
    } catch (...) {
        return HandleException();
    }
    for (const ComPtr<IDispatch>& sink : list) {
        const HRESULT hr = InvokeEvent(sink.get(), id, args);
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
}

TConnectionPoint& TConnectionPoints::Add(const GUID& iid, SinkLimit limit, TConnectionPoint::SinkChanged onChange) {
    points_.push_back(std::make_unique<TConnectionPoint>(container_, iid, limit, std::move(onChange)));
    return *points_.back();
}

HRESULT TConnectionPoints::Find(const GUID& iid, IConnectionPoint** point) const {
    if (!point) return E_POINTER;
    *point = nullptr;
    for (const auto& p : points_) {
        if (p->Interface() == iid) {
            p->AddRef();
            *point = p.get();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT TEventSink::GetTypeInfoCount(std::uint32_t* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT TEventSink::GetTypeInfo(std::uint32_t, LCID, const InterfaceInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TEventSink::GetIDsOfNames(const GUID&, const std::string*, std::uint32_t count, LCID, DISPID* ids) {
    for (std::uint32_t i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT TEventSink::Invoke(DISPID id, const GUID&, LCID, std::uint16_t, DispParams* params, Variant* result,
                           ExcepInfo* excep, std::uint32_t*) {
    if (result) result->clear();
    if (params && params->count && !params->args) return E_INVALIDARG;
    const HRESULT hr = Guard([&] {
        // Keeps the sink alive while a handler drops the last outside reference.
        ComPtr<IDispatch> self(this);
        InvokeEvent(id, params ? std::span<Variant>(params->args, params->count) : std::span<Variant>());
    });
    if (FAILED(hr) && excep) {
        excep->scode = hr;
        if (!TakeErrorInfo(hr, excep->description)) excep->description = HResultText(hr);
    }
    return FAILED(hr) ? DISP_E_EXCEPTION : hr;
}

HRESULT TEventSink::QueryOtherInterface(const GUID& iid, void** object) {
    if (iid != eventsIid_) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    ObjAddRef();
    return S_OK;
}

namespace {

HRESULT FindPoint(IUnknown* source, const GUID& iid, ComPtr<IConnectionPoint>& point) {
    if (!source) return E_POINTER;
    ComPtr<IConnectionPointContainer> container = ComPtr<IConnectionPointContainer>::Query(source);
    if (!container) return E_NOINTERFACE;
    return container->FindConnectionPoint(iid, point.put());
}

}  // namespace

HRESULT InterfaceConnect(IUnknown* source, const GUID& iid, IUnknown* sink, std::uint32_t* cookie) {
    if (cookie) *cookie = 0;
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = FindPoint(source, iid, point);
    if (FAILED(hr)) return hr;
    return point->Advise(sink, cookie);
}

HRESULT InterfaceDisconnect(IUnknown* source, const GUID& iid, std::uint32_t cookie) {
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = FindPoint(source, iid, point);
    if (FAILED(hr)) return hr;
    return point->Unadvise(cookie);
}

}  // namespace tolver
