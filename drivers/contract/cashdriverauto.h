#pragma once
// What every driver's automation object shares: the one event connection point
// under the events identifier that the driver names in EventIID, the relay of the
// driver object's events to it, and the member bodies whose behaviour is the same in
// every driver (settings blobs in and out of their frames, the setup's advanced blob,
// Init's loading of the basic blob, the split of a sale by its count, the limits);
// and CashDriverObject, what a driver object must offer for them.
//
// A settings blob that is loaded into a settings object (Properties put,
// AdvProperties put, the advanced blob of a SpoolerSetup put, the blob of Init) is
// shown in that object's frame at once; a get first takes the frame's controls over.
// So a get always returns what the frame shows, and the frame never shows settings
// older than the ones the driver works with.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include <QWidget>

#include "common/cashgl.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/connpoint.h"
#include "platform/com/framehandle.h"
#include "platform/variant/utf.h"

namespace tolver {

// Where a driver object's events go (its automation object). Arguments are those of
// ICashDriverAutoEvents, in declaration order.
class TCashDriverEventTarget {
public:
    virtual void RaiseEvent(DISPID id, std::span<Variant> args) = 0;

protected:
    ~TCashDriverEventTarget() = default;
};

// The driver object's side: raises on its automation object while one is set;
// failures, a missing sink among them, are swallowed.
class TCashDriverEvents {
public:
    // Texts to the host are cut to this many characters.
    static constexpr std::size_t kTextLimit = 255;

    TCashDriverEventTarget* AutoObject = nullptr;

    void Raise(DISPID id, std::span<Variant> args) const noexcept {
        if (!AutoObject) return;
        try {
            AutoObject->RaiseEvent(id, args);
        } catch (...) {
            // A failing sink does not stop the driver.
        }
    }
    void Text(DISPID id, const std::string& text) const noexcept {
        if (!AutoObject) return;
        try {
            Variant arg(Utf8Left(text, kTextLimit));
            Raise(id, std::span<Variant>(&arg, 1));
        } catch (...) {
        }
    }
    void Print(std::int32_t c) const noexcept {
        if (!AutoObject) return;
        Variant arg(c);
        Raise(ICashDriverAutoEvents::OnPrint, std::span<Variant>(&arg, 1));
    }
    // Nothing for id 0, which nobody waits for.
    void CommandResult(std::int32_t id, std::int32_t result) const noexcept {
        if (id == 0 || !AutoObject) return;
        Variant args[2] = {Variant(id), Variant(result)};
        Raise(ICashDriverAutoEvents::OnCommandResult, args);
    }

    // Hands an engine's events on as these: its texts as the protocol events, its
    // print copy as OnPrint, its results as OnCommandResult. A driver that looks at
    // the print copy first sets the engine's OnPrint again afterwards.
    template <class Engine>
    void RelayFrom(Engine& engine) const {
        using E = ICashDriverAutoEvents;
        engine.OnLog = [this](const std::string& text) { Text(E::OnProtocolLog, text); };
        engine.OnInfo = [this](const std::string& text) { Text(E::OnProtocolInfo, text); };
        engine.OnError = [this](const std::string& text) { Text(E::OnProtocolError, text); };
        engine.OnQuery = [this](const std::string& text) { Text(E::OnProtocolQuery, text); };
        engine.OnPrint = [this](std::int32_t c) { Print(c); };
        engine.OnCommandResult = [this](std::int32_t id, std::int32_t result) { CommandResult(id, result); };
    }
};

// How a sale's count is carried out: exactly 1, a count with a fractional part, a
// whole number (0 and negatives included, which the drivers refuse), or nothing at
// all (not finite, or a whole number beyond 32 bits).
enum class CountKind { One, Fraction, Whole, Invalid };
inline CountKind KindOfCount(double count) {
    if (count == 1.0) return CountKind::One;
    if (!std::isfinite(count)) return CountKind::Invalid;
    if (count != std::trunc(count)) return CountKind::Fraction;
    if (count < std::numeric_limits<std::int32_t>::min() || count > std::numeric_limits<std::int32_t>::max())
        return CountKind::Invalid;
    return CountKind::Whole;
}

// The result of a sale carried out by its count: one() for exactly 1, fraction() for a
// count with a fractional part, whole(n) for a whole number; -1 for a count that
// cannot be carried at all.
template <class One, class Fraction, class Whole>
std::int32_t SellByCount(double count, One one, Fraction fraction, Whole whole) {
    switch (KindOfCount(count)) {
        case CountKind::One: return one();
        case CountKind::Fraction: return fraction();
        case CountKind::Whole: return whole(static_cast<std::int32_t>(count));
        case CountKind::Invalid: break;
    }
    return -1;
}

template <class Default>
class TCashDriverAutoObject : public TConnectableAutoObject<Default>, public TCashDriverEventTarget {
public:
    void RaiseEvent(DISPID id, std::span<Variant> args) override {
        // Without a sink the event is lost; a failing sink is ignored.
        if (connectionPoint_) connectionPoint_->Raise(id, args);
    }

    HRESULT get_EventIID(std::string* Value) override {
        return Guard([&] { *Value = GUIDToString(eventsIid_); });
    }

protected:
    explicit TCashDriverAutoObject(const GUID& eventsIid) : eventsIid_(eventsIid) {}

    // The single-sink connection point of the events interface (from Initialize).
    void AddEventConnectionPoint() { connectionPoint_ = &this->ConnectionPoints.Add(eventsIid_, SinkLimit::Single); }

    static HRESULT FrameOf(QWidget* frame, std::int32_t* Value) {
        return Guard([&] { *Value = FrameHandle(frame); });
    }

    // A get: the frame's controls first (frameToSettings), then the blob.
    template <class Settings, class FrameToSettings>
    static HRESULT GetSettings(Settings& settings, FrameToSettings frameToSettings, Variant* Value) {
        return Guard([&] {
            frameToSettings();
            *Value = settings.GetAsVariant();
        });
    }

    // A put: the blob is loaded as far as it reads, then shown (settingsToFrame).
    template <class Settings, class SettingsToFrame>
    static HRESULT PutSettings(Settings& settings, const Variant& Value, SettingsToFrame settingsToFrame) {
        return Guard([&] {
            LoadQuietly(settings, Value);
            settingsToFrame();
        });
    }

    // The host's setup, then its advanced blob into the advanced settings, both as far
    // as they read; success in every case.
    template <class AdvSettings, class SettingsToFrame>
    static HRESULT PutSpoolerSetup(TSpoolerSetup& setup, AdvSettings& advSettings, const Variant& Value,
                                   SettingsToFrame advSettingsToFrame) {
        return Guard([&] {
            LoadQuietly(setup, Value);
            LoadQuietly(advSettings, setup.DriverSetup.AdvPropertiesData);
            advSettingsToFrame();
        });
    }

    // Init: the basic blob is loaded and shown, then open(cause) gives the result. A
    // blob that does not read, or a failure of open, gives -1 with the cause
    // "Ошибка инициализации" and a succeeding HRESULT.
    template <class Settings, class SettingsToFrame, class Open>
    static HRESULT InitWith(Settings& settings, const Variant& CashDriverProperties, SettingsToFrame settingsToFrame,
                            Open open, std::string* Cause, std::int32_t* Value) {
        *Value = -1;
        bool loaded = false;
        try {
            settings.SetFromVariant(CashDriverProperties);
            loaded = true;
        } catch (...) {
            *Cause = kInitError;
        }
        try {
            settingsToFrame();
            if (loaded) *Value = open(*Cause);
        } catch (...) {
            *Cause = kInitError;
            *Value = -1;
        }
        return S_OK;
    }

    // The limits of a firmware row as the host reads them; unassigned without a row
    // or when the conversion fails.
    static HRESULT ConstraintsOf(const TCashDriverConstraints* row, Variant* Value) {
        return Guard([&] {
            *Value = Variant();
            if (!row) return;
            try {
                *Value = CashDriverConstraintsToVariant(*row);
            } catch (const Exception&) {
                // The result stays unassigned.
            }
        });
    }

private:
    static constexpr const char* kInitError = "Ошибка инициализации";

    template <class T>
    static void LoadQuietly(T& target, const Variant& value) {
        try {
            target.SetFromVariant(value);
        } catch (const Exception&) {
            // What was read before the bad element stays loaded.
        }
    }

    GUID eventsIid_;
    TConnectionPoint* connectionPoint_ = nullptr;
};

// A driver object: what TCashDriverAutoOf calls on the driver it owns. Operations
// answer a command id, 0 (done, nothing to wait for) or -1 (refused, nothing queued),
// as the contract members of the same names do; their outcomes arrive later through
// Events as OnCommandResult.
template <class D>
concept CashDriverObject = requires(D& d, std::string& cause, const std::string& text, const Variant& blob,
                                    Currency sum, double count, std::int32_t n, std::uint8_t com, TPayType payType) {
    // The automation object's relay (AutoObject), and the host's setup as last put.
    { d.Events } -> std::same_as<TCashDriverEvents&>;
    { d.Setup } -> std::same_as<TSpoolerSetup&>;
    // The basic and the advanced settings, exchanged as blobs.
    { d.Settings().GetAsVariant() } -> std::convertible_to<Variant>;
    d.Settings().SetFromVariant(blob);
    { d.AdvSettings().GetAsVariant() } -> std::convertible_to<Variant>;
    d.AdvSettings().SetFromVariant(blob);
    // The frames it owns (null once the host has destroyed one).
    { d.PropertiesFrame() } -> std::convertible_to<QWidget*>;
    { d.AdvPropertiesFrame() } -> std::convertible_to<QWidget*>;
    { d.InfoFrame() } -> std::convertible_to<QWidget*>;
    // The firmware row it works with: the limits and the item lists.
    { d.Version() } -> std::convertible_to<const TCashDriverConstraints&>;
    // The line.
    { d.GetComNumber() } -> std::convertible_to<std::uint8_t>;
    d.SetComNumber(com);
    { d.GetBaud() } -> std::convertible_to<std::int32_t>;
    d.SetBaud(n);
    { d.GetInInteraction() } -> std::convertible_to<bool>;
    { d.GetID() } -> std::convertible_to<std::string>;
    { d.GetTrashID() } -> std::convertible_to<std::string>;
    // Init opens the line with the loaded settings: 0, or -1 with the cause.
    { d.Init(cause) } -> std::convertible_to<std::int32_t>;
    d.Done();
    // Reports and programming by the chosen items (TChosenItems).
    { d.GetXReport(text) } -> std::convertible_to<std::int32_t>;
    { d.GetZReport(text) } -> std::convertible_to<std::int32_t>;
    { d.GetProgram(text) } -> std::convertible_to<std::int32_t>;
    { d.ProgramAfterReg(text) } -> std::convertible_to<std::int32_t>;
    // A sale of an article by its count (SellByCount): exactly 1, a whole number, a
    // fraction.
    { d.AddPayArt(n, sum, sum) } -> std::convertible_to<std::int32_t>;
    { d.AddPayArtInt(n, n, sum, sum) } -> std::convertible_to<std::int32_t>;
    { d.AddPayArtFrac(n, count, sum, sum) } -> std::convertible_to<std::int32_t>;
    { d.DelPayArt(sum, sum, n) } -> std::convertible_to<std::int32_t>;
    { d.AddCash(payType, text, sum) } -> std::convertible_to<std::int32_t>;
    { d.ReturnCash(payType, text, sum) } -> std::convertible_to<std::int32_t>;
    { d.CloseCheck(payType, sum) } -> std::convertible_to<std::int32_t>;
    { d.OpenCheck(text) } -> std::convertible_to<std::int32_t>;
    { d.AddInfo(text) } -> std::convertible_to<std::int32_t>;
    // The operator's number and password.
    { d.RegOp(n, text) } -> std::convertible_to<std::int32_t>;
    { d.UnRegOp() } -> std::convertible_to<std::int32_t>;
    { d.Restore() } -> std::convertible_to<std::int32_t>;
    { d.Terminate() } -> std::convertible_to<std::int32_t>;
};

// The members that every driver's automation object answers alike, over the driver
// object it owns: the frames, the settings blobs, the setup, the line's properties,
// the item lists, Init and Done, the reports and programming, the receipt operations
// other than the department ones, the operator, Restore and Terminate, each one driver
// call under Guard. A driver's automation object makes its driver (MakeDriver), says
// how its frames show and take settings, and answers the members that are its own.
template <class Default, CashDriverObject DriverType>
class TCashDriverAutoOf : public TCashDriverAutoObject<Default> {
public:
    void Initialize() override {
        this->AddEventConnectionPoint();
        driver_ = MakeDriver();
        driver_->Events.AutoObject = this;
    }

    DriverType& Driver() { return *driver_; }

    HRESULT get_PropertiesForm(std::int32_t* Value) override { return this->FrameOf(driver_->PropertiesFrame(), Value); }
    HRESULT get_InfoForm(std::int32_t* Value) override { return this->FrameOf(driver_->InfoFrame(), Value); }
    HRESULT get_AdvPropertiesForm(std::int32_t* Value) override {
        return this->FrameOf(driver_->AdvPropertiesFrame(), Value);
    }

    HRESULT get_Properties(Variant* Value) override {
        return this->GetSettings(driver_->Settings(), [this] { TakeSettings(); }, Value);
    }
    HRESULT set_Properties(const Variant& Value) override {
        return this->PutSettings(driver_->Settings(), Value, [this] { ShowSettings(); });
    }
    HRESULT get_AdvProperties(Variant* Value) override {
        return this->GetSettings(driver_->AdvSettings(), [this] { TakeAdvSettings(); }, Value);
    }
    HRESULT set_AdvProperties(const Variant& Value) override {
        return this->PutSettings(driver_->AdvSettings(), Value, [this] { ShowAdvSettings(); });
    }
    HRESULT set_SpoolerSetup(const Variant& Value) override {
        return this->PutSpoolerSetup(driver_->Setup, driver_->AdvSettings(), Value, [this] { ShowAdvSettings(); });
    }

    HRESULT get_ComNumber(std::uint8_t* Value) override {
        return Guard([&] { *Value = driver_->GetComNumber(); });
    }
    HRESULT set_ComNumber(std::uint8_t Value) override {
        return Guard([&] { driver_->SetComNumber(Value); });
    }
    HRESULT get_Baud(std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->GetBaud(); });
    }
    HRESULT set_Baud(std::int32_t Value) override {
        return Guard([&] { driver_->SetBaud(Value); });
    }
    HRESULT get_InInteraction(bool* Value) override {
        return Guard([&] { *Value = driver_->GetInInteraction(); });
    }
    HRESULT get_ID(std::string* Value) override {
        return Guard([&] { *Value = driver_->GetID(); });
    }
    HRESULT get_TrashID(std::string* Value) override {
        return Guard([&] { *Value = driver_->GetTrashID(); });
    }

    // The lists follow the firmware row the driver works with (Version()).
    HRESULT get_ProgramItems(std::string* Value) override {
        return Guard([&] { *Value = driver_->Version().ProgramItems; });
    }
    HRESULT get_XReportItems(std::string* Value) override {
        return Guard([&] { *Value = driver_->Version().XReportItems; });
    }
    HRESULT get_ZReportItems(std::string* Value) override {
        return Guard([&] { *Value = driver_->Version().ZReportItems; });
    }

    // Init loads and shows the basic blob, then the driver opens its line.
    HRESULT Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) override {
        return this->InitWith(
            driver_->Settings(), CashDriverProperties, [this] { ShowSettings(); },
            [this](std::string& cause) { return driver_->Init(cause); }, Cause, Value);
    }
    HRESULT Done() override {
        return Guard([&] { driver_->Done(); });
    }

    HRESULT GetXReport(const std::string& Items, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->GetXReport(Items); });
    }
    HRESULT GetZReport(const std::string& Items, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->GetZReport(Items); });
    }
    HRESULT GetProgram(const std::string& Items, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->GetProgram(Items); });
    }
    HRESULT ProgramAfterReg(const std::string& Param, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->ProgramAfterReg(Param); });
    }

    // A sale of an article, split by its count.
    HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                      std::int32_t* Value) override {
        return Guard([&] {
            DriverType& d = *driver_;
            *Value = SellByCount(
                Count, [&] { return d.AddPayArt(NArt, SumWithoutNDS, Sum); },
                [&] { return d.AddPayArtFrac(NArt, Count, SumWithoutNDS, Sum); },
                [&](std::int32_t n) { return d.AddPayArtInt(n, NArt, SumWithoutNDS, Sum); });
        });
    }
    HRESULT DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->DelPayArt(SumWithoutNDS, Sum, NArt); });
    }
    HRESULT AddCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->AddCash(PayType, Info, Sum); });
    }
    HRESULT ReturnCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->ReturnCash(PayType, Info, Sum); });
    }
    HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->CloseCheck(PayType, Sum); });
    }
    HRESULT OpenCheck(const std::string& Info, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->OpenCheck(Info); });
    }
    HRESULT AddInfo(const std::string& Value, std::int32_t* Value1) override {
        return Guard([&] { *Value1 = driver_->AddInfo(Value); });
    }
    // The operator's name is not sent; the number and the password are.
    HRESULT RegOp(std::int32_t NOp, const std::string&, const std::string& Password, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->RegOp(NOp, Password); });
    }
    HRESULT UnRegOp(std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->UnRegOp(); });
    }

    HRESULT Restore(std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->Restore(); });
    }
    HRESULT Terminate(std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->Terminate(); });
    }

protected:
    using TCashDriverAutoObject<Default>::TCashDriverAutoObject;

    virtual std::unique_ptr<DriverType> MakeDriver() = 0;
    // The basic and the advanced settings into their frames' controls and back; a
    // frame not made yet is left alone.
    virtual void ShowSettings() = 0;
    virtual void TakeSettings() = 0;
    virtual void ShowAdvSettings() = 0;
    virtual void TakeAdvSettings() = 0;

    std::unique_ptr<DriverType> driver_;
};

}  // namespace tolver
