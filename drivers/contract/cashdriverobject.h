#pragma once
// The automation object of every driver, TCashDriverAutoOf<driver object>: the one
// event connection point under the events identifier that the driver names in
// EventIID, the relay of the driver object's events to it, and every contract member
// as one call on the driver object (settings blobs in and out of their frames, the
// setup's advanced blob, Init's loading of the basic blob, the split of a sale by its
// count, the limits); and CashDriverObject, what a driver object offers for them.
//
// A settings blob that is loaded into a settings object (Properties put,
// AdvProperties put, the advanced blob of a SpoolerSetup put, the blob of Init) is
// shown in that object's frame at once; a get first takes the frame's controls over.
// So a get always returns what the frame shows, and the frame never shows settings
// older than the ones the driver works with.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <functional>
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

// A driver object: the whole of what a driver adds to the contract, which
// TCashDriverAutoOf answers over it. Operations answer a command id, 0 (done, nothing
// to wait for) or -1 (refused, nothing queued), as the contract members of the same
// names do; their outcomes arrive later through Events as OnCommandResult.
template <class D>
concept CashDriverObject = requires(D& d, std::string& cause, const std::string& text, const Variant& blob,
                                    Currency sum, double count, std::int32_t n, std::uint8_t com, TPayType payType,
                                    bool flag) {
    // The interface its automation object answers (ICashDriverAuto, or one of the
    // driver's own that derives from it) and the events identifier that EventIID names.
    requires std::derived_from<typename D::AutoInterface, ICashDriverAuto>;
    { D::EventsIID } -> std::convertible_to<GUID>;
    // The automation object's relay (AutoObject), and the host's setup as last put.
    { d.Events } -> std::same_as<TCashDriverEvents&>;
    { d.Setup } -> std::same_as<TSpoolerSetup&>;
    // The basic and the advanced settings, exchanged as blobs.
    { d.Settings().GetAsVariant() } -> std::convertible_to<Variant>;
    d.Settings().SetFromVariant(blob);
    { d.AdvSettings().GetAsVariant() } -> std::convertible_to<Variant>;
    d.AdvSettings().SetFromVariant(blob);
    // The frames it owns (null once the host has destroyed one), and the settings
    // into their controls (Show) and back (Take); a frame gone is left alone.
    { d.PropertiesFrame() } -> std::convertible_to<QWidget*>;
    { d.AdvPropertiesFrame() } -> std::convertible_to<QWidget*>;
    { d.InfoFrame() } -> std::convertible_to<QWidget*>;
    d.ShowSettings();
    d.TakeSettings();
    d.ShowAdvSettings();
    d.TakeAdvSettings();
    // The firmware row it works with (the item lists), the limits the host reads
    // (null for none), and the descriptions.
    { d.Version() } -> std::convertible_to<const TCashDriverConstraints&>;
    { d.Constraints() } -> std::convertible_to<const TCashDriverConstraints*>;
    { d.GetBeginMsg() } -> std::convertible_to<std::string>;
    { d.CashModelDescription() } -> std::convertible_to<std::string>;
    // The line, on its engine (Protocol()), and what the driver makes of the link.
    { d.Protocol().GetComNumber() } -> std::convertible_to<std::uint8_t>;
    d.Protocol().SetComNumber(com);
    { d.Protocol().GetBaud() } -> std::convertible_to<std::int32_t>;
    d.Protocol().SetBaud(n);
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
    // The department sale and void and the article programming, in the contract's
    // argument order.
    { d.AddPayDep(text, count, sum, sum, n) } -> std::convertible_to<std::int32_t>;
    { d.DelPayDep(sum, sum, n) } -> std::convertible_to<std::int32_t>;
    { d.SetArt(n, n, n, sum, text, flag) } -> std::convertible_to<std::int32_t>;
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

// The automation object of every driver: it owns one driver object, answers each
// contract member by one call on it under Guard, and carries its events to the one
// connected sink. A driver library registers TCashDriverAutoOf<its driver object>.
template <CashDriverObject DriverType>
class TCashDriverAutoOf : public TCashDriverAutoObject<typename DriverType::AutoInterface> {
    using Base = TCashDriverAutoObject<typename DriverType::AutoInterface>;

public:
    using DriverFactory = std::function<std::unique_ptr<DriverType>()>;

    // The driver object made with its default constructor (on the real line).
    TCashDriverAutoOf()
        requires std::default_initializable<DriverType>
        : TCashDriverAutoOf([] { return std::make_unique<DriverType>(); }) {}
    // makeDriver: the driver object, made once by Initialize.
    explicit TCashDriverAutoOf(DriverFactory makeDriver)
        : Base(DriverType::EventsIID), makeDriver_(std::move(makeDriver)) {}

    void Initialize() override {
        this->AddEventConnectionPoint();
        driver_ = makeDriver_();
        driver_->Events.AutoObject = this;
    }

    DriverType& Driver() { return *driver_; }

    HRESULT get_PropertiesForm(std::int32_t* Value) override { return this->FrameOf(driver_->PropertiesFrame(), Value); }
    HRESULT get_InfoForm(std::int32_t* Value) override { return this->FrameOf(driver_->InfoFrame(), Value); }
    HRESULT get_AdvPropertiesForm(std::int32_t* Value) override {
        return this->FrameOf(driver_->AdvPropertiesFrame(), Value);
    }

    HRESULT get_Properties(Variant* Value) override {
        return this->GetSettings(driver_->Settings(), [this] { driver_->TakeSettings(); }, Value);
    }
    HRESULT set_Properties(const Variant& Value) override {
        return this->PutSettings(driver_->Settings(), Value, [this] { driver_->ShowSettings(); });
    }
    HRESULT get_AdvProperties(Variant* Value) override {
        return this->GetSettings(driver_->AdvSettings(), [this] { driver_->TakeAdvSettings(); }, Value);
    }
    HRESULT set_AdvProperties(const Variant& Value) override {
        return this->PutSettings(driver_->AdvSettings(), Value, [this] { driver_->ShowAdvSettings(); });
    }
    HRESULT set_SpoolerSetup(const Variant& Value) override {
        return this->PutSpoolerSetup(driver_->Setup, driver_->AdvSettings(), Value,
                                     [this] { driver_->ShowAdvSettings(); });
    }

    HRESULT get_ComNumber(std::uint8_t* Value) override {
        return Guard([&] { *Value = driver_->Protocol().GetComNumber(); });
    }
    HRESULT set_ComNumber(std::uint8_t Value) override {
        return Guard([&] { driver_->Protocol().SetComNumber(Value); });
    }
    HRESULT get_Baud(std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->Protocol().GetBaud(); });
    }
    HRESULT set_Baud(std::int32_t Value) override {
        return Guard([&] { driver_->Protocol().SetBaud(Value); });
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
    HRESULT get_Constraints(Variant* Value) override { return this->ConstraintsOf(driver_->Constraints(), Value); }
    HRESULT get_BeginMsg(std::string* Value) override {
        return Guard([&] { *Value = driver_->GetBeginMsg(); });
    }
    HRESULT get_CashModelDescription(std::string* Value) override {
        return Guard([&] { *Value = driver_->CashModelDescription(); });
    }

    // Init loads and shows the basic blob, then the driver opens its line.
    HRESULT Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) override {
        return this->InitWith(
            driver_->Settings(), CashDriverProperties, [this] { driver_->ShowSettings(); },
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
    HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                   const std::string& Description, bool Return, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->SetArt(NArt, NDep, NTax, Price, Description, Return); });
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
    HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->AddPayDep(Name, Count, SumWithoutNDS, Sum, NDep); });
    }
    HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) override {
        return Guard([&] { *Value = driver_->DelPayDep(SumWithoutNDS, Sum, NDep); });
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

private:
    DriverFactory makeDriver_;
    std::unique_ptr<DriverType> driver_;
};

}  // namespace tolver
