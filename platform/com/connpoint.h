#pragma once
// Connection points: how an object raises events on the sinks of its clients.
//
// The source object answers IConnectionPointContainer; FindConnectionPoint gives the
// connection point of one events interface (a dispatch interface); a client advises
// its sink there and gets a cookie back, and unadvises with that cookie. The object
// raises an event by calling each sink's Invoke with the event's DISPID and its
// arguments in declaration order, so a sink dispatches by DISPID alone.
//
// Source side: TConnectableAutoObject<Default> is a TAutoObject that also answers
// IConnectionPointContainer over its ConnectionPoints:
//   TMyAuto() { Events = &ConnectionPoints.Add(IMyEvents::IID, SinkLimit::Single); }
//   ... Events->Raise(6, Variant(id), Variant(result));
// Client side: TEventSink hands every event to InvokeEvent(DISPID, arguments);
// InterfaceConnect and InterfaceDisconnect advise and unadvise it.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/com/comobj.h"

namespace tolver {

class IConnectionPoint;

class IConnectionPointContainer : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{B196B284-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;

    // CONNECT_E_NOCONNECTION when the object raises no events of that interface.
    virtual HRESULT FindConnectionPoint(const GUID& iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

class IConnectionPoint : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{B196B286-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;

    virtual HRESULT GetConnectionInterface(GUID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // The sink is queried for the connection interface (CONNECT_E_CANNOTCONNECT when
    // it lacks it); CONNECT_E_ADVISELIMIT when no further sink is admitted.
    virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
    // CONNECT_E_NOCONNECTION for a cookie it did not give out.
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};

enum class SinkLimit { Single, Multiple };

// One connection point, owned by its container object, whose reference count it
// shares. Like the object, it is used on the object's (main) thread only.
class TConnectionPoint final : public IConnectionPoint {
public:
    // Called after a sink connects (with the sink) and after one disconnects (null).
    using SinkChanged = std::function<void(IUnknown* sink)>;

    TConnectionPoint(IConnectionPointContainer& container, const GUID& iid, SinkLimit limit,
                     SinkChanged onChange = {});
    ~TConnectionPoint();

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    std::uint32_t AddRef() override { return container_.AddRef(); }
    std::uint32_t Release() override { return container_.Release(); }
    HRESULT GetConnectionInterface(GUID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
    HRESULT Unadvise(std::uint32_t cookie) override;

    const GUID& Interface() const { return iid_; }
    bool HasSinks() const { return !sinks_.empty(); }
    // The connected sinks, queried for the connection interface, in order of connection.
    std::vector<ComPtr<IDispatch>> Sinks() const;

    // Raises an event on every connected sink, also when one of them fails; returns
    // the first failure, S_OK when every sink succeeded or none is connected. A sink
    // may connect or disconnect sinks while it handles the event.
    HRESULT Raise(DISPID id, std::span<Variant> args) noexcept;
    template <class... A>
    HRESULT Raise(DISPID id, A&&... args) noexcept {
        try {
            std::array<Variant, sizeof...(A)> values{Variant(std::forward<A>(args))...};
            return Raise(id, std::span<Variant>(values));
        } catch (...) {
            return HandleException();
        }
    }

private:
    struct Connection {
        std::uint32_t cookie;
        ComPtr<IDispatch> sink;
    };

    IConnectionPointContainer& container_;
    GUID iid_;
    SinkLimit limit_;
    SinkChanged onChange_;
    std::vector<Connection> sinks_;
    std::uint32_t nextCookie_ = 1;
};

// The connection points of one object, for its FindConnectionPoint.
class TConnectionPoints {
public:
    explicit TConnectionPoints(IConnectionPointContainer& container) : container_(container) {}

    TConnectionPoint& Add(const GUID& iid, SinkLimit limit, TConnectionPoint::SinkChanged onChange = {});
    HRESULT Find(const GUID& iid, IConnectionPoint** point) const;

private:
    IConnectionPointContainer& container_;
    std::vector<std::unique_ptr<TConnectionPoint>> points_;
};

// A TAutoObject that raises events: it answers IConnectionPointContainer over
// ConnectionPoints, to which the object adds its connection points when it is made.
template <class Default, class... Others>
class TConnectableAutoObject : public TAutoObject<Default, IConnectionPointContainer, Others...> {
public:
    HRESULT FindConnectionPoint(const GUID& iid, IConnectionPoint** point) override {
        return ConnectionPoints.Find(iid, point);
    }

protected:
    TConnectionPoints ConnectionPoints{*static_cast<IConnectionPointContainer*>(this)};
};

// A client's sink for one events interface: answers IUnknown, IDispatch and the
// events identifier it is made for, and hands each event to InvokeEvent. An error
// that InvokeEvent raises goes back to the source as the failing result of Invoke.
class TEventSink : public TComObject<IDispatch> {
public:
    explicit TEventSink(const GUID& eventsIid) : eventsIid_(eventsIid) {}
    const GUID& EventsIID() const { return eventsIid_; }

    HRESULT GetTypeInfoCount(std::uint32_t* count) override;
    HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, const InterfaceInfo** info) override;
    HRESULT GetIDsOfNames(const GUID& iid, const std::string* names, std::uint32_t count, LCID lcid,
                          DISPID* ids) override;
    HRESULT Invoke(DISPID id, const GUID& iid, LCID lcid, std::uint16_t flags, DispParams* params, Variant* result,
                   ExcepInfo* excep, std::uint32_t* argErr) override;

protected:
    // One event: its DISPID and its arguments in declaration order.
    virtual void InvokeEvent(DISPID id, std::span<Variant> params) = 0;
    HRESULT QueryOtherInterface(const GUID& iid, void** object) override;

private:
    GUID eventsIid_;
};

// Advises sink on the connection point of iid of source; the cookie is for
// InterfaceDisconnect.
HRESULT InterfaceConnect(IUnknown* source, const GUID& iid, IUnknown* sink, std::uint32_t* cookie);
HRESULT InterfaceDisconnect(IUnknown* source, const GUID& iid, std::uint32_t cookie);

}  // namespace tolver
