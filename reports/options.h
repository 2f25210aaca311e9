#pragma once
// The options server of the point-of-sale host and its client. The reports ask it
// for the alias of their options section ("Архивы"): the first alias string is the
// payment archive (the path of its SQLite file).

#include <cstdint>
#include <functional>
#include <string>

#include "platform/com/comptr.h"
#include "platform/com/connpoint.h"
#include "platform/com/dispatch.h"
#include "platform/com/typeinfo.h"

namespace tolver {

// The options section of the reports: its first alias is the payment archive.
inline constexpr const char* kArchiveSection = "Архивы";

inline constexpr GUID CLSID_OptionsAuto = MakeGUID("{D37A29DC-17BE-4DB0-931A-C07375947C26}");
inline constexpr GUID DIID_IOptionsAutoEvents = MakeGUID("{0A6B93A3-1B86-4EDD-A162-11EC509FA856}");

// A dual interface. The server's other members lie in slots 7 to 18; the reports
// call none of them, so they are only held as places here.
class IOptionsAuto : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{8FD453E9-5B10-4576-97AA-A98201350E6A}");
    using Base = IDispatch;

    virtual HRESULT Reserved7() = 0;
    virtual HRESULT Reserved8() = 0;
    virtual HRESULT Reserved9() = 0;
    virtual HRESULT Reserved10() = 0;
    virtual HRESULT Reserved11() = 0;
    virtual HRESULT Reserved12() = 0;
    virtual HRESULT Reserved13() = 0;
    virtual HRESULT Reserved14() = 0;
    virtual HRESULT Reserved15() = 0;
    virtual HRESULT Reserved16() = 0;
    virtual HRESULT Reserved17() = 0;
    virtual HRESULT Reserved18() = 0;
    // Slot 19. Result 0: the section is known and the aliases are set.
    virtual HRESULT GetSectionAlias(const std::string& Section, std::string* Alias1, std::string* Alias2,
                                    std::string* Alias3, std::int32_t* Result) = 0;

    static const InterfaceInfo& TypeInfo();

protected:
    ~IOptionsAuto() = default;
};

// The client: connects to the server class (creating it through the registry store),
// listens to its events, and calls GetSectionAlias.
class TOptionsAuto {
public:
    TOptionsAuto() = default;
    TOptionsAuto(const TOptionsAuto&) = delete;
    TOptionsAuto& operator=(const TOptionsAuto&) = delete;
    ~TOptionsAuto();

    // Handlers of the server's events 1 to 5; unassigned ones are skipped.
    std::function<void()> OnCurrRateChange, OnAliasChange, OnIBAliasChange, OnNewCurrRateChange,
        OnMainNetworkServerChange;

    // Creates the server object when not connected; raises EOleError on failure.
    void Connect();
    void Disconnect() noexcept;
    bool Connected() const { return static_cast<bool>(server_); }
    // Connects when needed; raises when still not connected.
    IOptionsAuto* GetDefaultInterface();
    // Raises EOleError for a failing call.
    std::int32_t GetSectionAlias(const std::string& section, std::string& alias1, std::string& alias2,
                                 std::string& alias3);
    // Calls the handler of one event (dispatch ids 1 to 5).
    void InvokeEvent(DISPID id);

private:
    ComPtr<IOptionsAuto> server_;
    ComPtr<IUnknown> sink_;
    std::uint32_t cookie_ = 0;
};

// A stand-in for the host's options server: it answers each section from the
// registry store, HKEY_LOCAL_MACHINE "\Software\Tessary\Options\Sections\<section>",
// string values "Alias1" to "Alias3"; result 1 for a section that is not there.
// Its events are declared but never raised.
class TOptionsStandIn final : public TConnectableAutoObject<IOptionsAuto> {
public:
    static constexpr const char* kSectionsKey = "\\Software\\Tessary\\Options\\Sections";

    TOptionsStandIn();
    HRESULT Reserved7() override { return E_NOTIMPL; }
    HRESULT Reserved8() override { return E_NOTIMPL; }
    HRESULT Reserved9() override { return E_NOTIMPL; }
    HRESULT Reserved10() override { return E_NOTIMPL; }
    HRESULT Reserved11() override { return E_NOTIMPL; }
    HRESULT Reserved12() override { return E_NOTIMPL; }
    HRESULT Reserved13() override { return E_NOTIMPL; }
    HRESULT Reserved14() override { return E_NOTIMPL; }
    HRESULT Reserved15() override { return E_NOTIMPL; }
    HRESULT Reserved16() override { return E_NOTIMPL; }
    HRESULT Reserved17() override { return E_NOTIMPL; }
    HRESULT Reserved18() override { return E_NOTIMPL; }
    HRESULT GetSectionAlias(const std::string& Section, std::string* Alias1, std::string* Alias2, std::string* Alias3,
                            std::int32_t* Result) override;

    // Writes a section's aliases into the registry store (the sample tooling uses it).
    static void WriteSection(const std::string& section, const std::string& alias1, const std::string& alias2 = {},
                             const std::string& alias3 = {});
};

}  // namespace tolver
