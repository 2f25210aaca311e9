#include "reports/options.h"

#include "platform/com/cocreate.h"
#include "platform/registry/registry.h"

namespace tolver {

const InterfaceInfo& IOptionsAuto::TypeInfo() {
    static const InterfaceInfo info("IOptionsAuto", IID, InterfaceKind::Dual, "Options server",
                                    {
                                        Method<&IOptionsAuto::GetSectionAlias>("GetSectionAlias", 12, 19, "Section",
                                                                               "Alias1", "Alias2", "Alias3", "Result"),
                                    });
    return info;
}

namespace {

class TOptionsEventSink final : public TEventSink {
public:
    explicit TOptionsEventSink(TOptionsAuto& owner) : TEventSink(DIID_IOptionsAutoEvents), owner_(owner) {}

protected:
    void InvokeEvent(DISPID id, std::span<Variant>) override { owner_.InvokeEvent(id); }

private:
    TOptionsAuto& owner_;
};

}  // namespace

TOptionsAuto::~TOptionsAuto() { Disconnect(); }

void TOptionsAuto::Connect() {
    if (server_) return;
    ComPtr<IOptionsAuto> server;
    OleCheck(CoCreateInstance(CLSID_OptionsAuto, nullptr, IOptionsAuto::IID, reinterpret_cast<void**>(server.put())));
    // A server without the events connection point still answers its methods.
    ComPtr<IUnknown> sink(static_cast<IDispatch*>(new TOptionsEventSink(*this)));
    std::uint32_t cookie = 0;
    if (SUCCEEDED(InterfaceConnect(server.get(), DIID_IOptionsAutoEvents, sink.get(), &cookie))) {
        sink_ = sink;
        cookie_ = cookie;
    }
    server_ = std::move(server);
}

void TOptionsAuto::Disconnect() noexcept {
    if (!server_) return;
    if (sink_) InterfaceDisconnect(server_.get(), DIID_IOptionsAutoEvents, cookie_);
    sink_.reset();
    cookie_ = 0;
    server_.reset();
}

IOptionsAuto* TOptionsAuto::GetDefaultInterface() {
    if (!server_) Connect();
    if (!server_)
        throw EOleError("DefaultInterface is NULL. Component is not connected to Server. You must call 'Connect' "
                        "or 'ConnectTo' before this operation",
                        E_FAIL);
    return server_.get();
}

std::int32_t TOptionsAuto::GetSectionAlias(const std::string& section, std::string& alias1, std::string& alias2,
                                           std::string& alias3) {
    std::int32_t result = 0;
    OleCheck(GetDefaultInterface()->GetSectionAlias(section, &alias1, &alias2, &alias3, &result));
    return result;
}

void TOptionsAuto::InvokeEvent(DISPID id) {
    const std::function<void()>* handlers[] = {&OnCurrRateChange, &OnAliasChange, &OnIBAliasChange,
                                               &OnNewCurrRateChange, &OnMainNetworkServerChange};
    if (id >= 1 && id <= 5 && *handlers[id - 1]) (*handlers[id - 1])();
}

TOptionsStandIn::TOptionsStandIn() { ConnectionPoints.Add(DIID_IOptionsAutoEvents, SinkLimit::Multiple); }

HRESULT TOptionsStandIn::GetSectionAlias(const std::string& Section, std::string* Alias1, std::string* Alias2,
                                         std::string* Alias3, std::int32_t* Result) {
    return Guard([&] {
        if (!Alias1 || !Alias2 || !Alias3 || !Result) return E_POINTER;
        *Result = 1;
        if (Section.empty() || Section.find('\\') != std::string::npos) return S_OK;
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(std::string(kSectionsKey) + "\\" + Section, false)) return S_OK;
        *Alias1 = reg.ValueExists("Alias1") ? reg.ReadString("Alias1") : std::string();
        *Alias2 = reg.ValueExists("Alias2") ? reg.ReadString("Alias2") : std::string();
        *Alias3 = reg.ValueExists("Alias3") ? reg.ReadString("Alias3") : std::string();
        *Result = 0;
        return S_OK;
    });
}

void TOptionsStandIn::WriteSection(const std::string& section, const std::string& alias1, const std::string& alias2,
                                   const std::string& alias3) {
    RegistryTransaction transaction;
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(std::string(kSectionsKey) + "\\" + section, true)) throw Exception("Cannot write the options");
    reg.WriteString("Alias1", alias1);
    reg.WriteString("Alias2", alias2);
    reg.WriteString("Alias3", alias3);
    transaction.Commit();
}

}  // namespace tolver
