#pragma once
// Test support: a driver object that answers every member of the contract by one
// generic path. Each call is recorded as text, "Name(arg,...)" for a method,
// "Name=value" for a property put, "Name" for a property get (the member's name
// and parameters come from the contract's member table), then answered: a member in
// Failing fails with "<name> failed"; an answer set with On or Returns gives the
// result; an operation without one (a method with an integer result) gets the next
// command id; any other member answers its type's default. EventIID names the
// events identifier the fake was made with, on which it raises its events.
//
// A driver of the tests derives from TFakeCashDriverOf<its interface> (an interface
// derived from ICashDriverAuto) and scripts its answers in its constructor.

#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/connpoint.h"
#include "platform/com/hresult.h"

namespace tolver::testutil {

// One call on the fake: its row of the member table and every argument before the
// result, as Variants (an in/out argument with its value on entry, which an answer
// may change).
struct TDriverCall {
    const MemberInfo* member = nullptr;
    std::vector<Variant> args;

    const std::string& Name() const { return member->name; }
    // "Name" for a get, "Name=" for a put, else the name: the key of On and Returns.
    std::string Key() const { return member->kind == MemberKind::PropertyPut ? Name() + "=" : Name(); }

    // The text of an argument: numbers in their shortest form, a currency as a
    // number, a Boolean as 1 or 0, an array as "[...]".
    static std::string ArgText(const Variant& v) {
        if (v.isArray()) return "[...]";
        switch (v.type()) {
            case VT_EMPTY: return {};
            case VT_CY: return v.toCurrency().ToString();
            case VT_BOOL: return v.toBool() ? "1" : "0";
            case VT_R4:
            case VT_R8: return FloatToText(v.toDouble());
            default: return v.toString();
        }
    }
    // The call as recorded: in-arguments only.
    std::string Text() const {
        if (member->kind == MemberKind::PropertyGet) return Name();
        if (member->kind == MemberKind::PropertyPut) return Name() + "=" + ArgText(args.at(0));
        std::string text = Name() + "(";
        const char* separator = "";
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (member->params[i].dir != ParamDir::In) continue;
            text += separator + ArgText(args[i]);
            separator = ",";
        }
        return text + ")";
    }
};

template <class Interface = ICashDriverAuto>
    requires std::derived_from<Interface, ICashDriverAuto>
class TFakeCashDriverOf : public TConnectableAutoObject<Interface> {
public:
    using Answer = std::function<Variant(TDriverCall&)>;

    explicit TFakeCashDriverOf(const GUID& eventsIid) {
        events_ = &this->ConnectionPoints.Add(eventsIid, SinkLimit::Single);
        Returns("EventIID", GUIDToString(eventsIid));
    }

    // ---- the script ----------------------------------------------------------------
    std::vector<std::string> Calls;  // TDriverCall::Text() of every call, in order
    std::set<std::string> Failing;   // member names that fail with "<name> failed"
    std::int32_t NextId = 1;         // the command id of the next operation
    // Sees every call after it is recorded and before it is answered; an exception
    // fails the call with its text.
    std::function<void(const TDriverCall&)> OnCall;
    // The result of an operation without an answer of its own; by default NextId++.
    std::function<std::int32_t(const TDriverCall&)> OnOperation;

    // The answer of a member by its key (TDriverCall::Key): a get or a method gets the
    // returned Variant as its result; a put's answer sees the value put.
    void On(const std::string& key, Answer answer) { answers_[key] = std::move(answer); }
    void Returns(const std::string& key, Variant value) {
        On(key, [value = std::move(value)](TDriverCall&) { return value; });
    }
    // A property whose get answers the value last put, initial before the first put.
    void Keeps(const std::string& name, Variant initial) {
        auto value = std::make_shared<Variant>(std::move(initial));
        On(name + "=", [value](TDriverCall& call) { return *value = call.args.at(0); });
        On(name, [value](TDriverCall&) { return *value; });
    }

    // Calls whose text begins with prefix.
    std::vector<std::string> CallsOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : Calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    // ---- events ----------------------------------------------------------------------
    HRESULT RaiseCommandResult(std::int32_t id, std::int32_t result) {
        return events_->Raise(ICashDriverAutoEvents::OnCommandResult, id, result);
    }
    HRESULT RaiseText(DISPID id, const std::string& text) { return events_->Raise(id, text); }
    HRESULT RaisePrint(std::int32_t c) { return events_->Raise(ICashDriverAutoEvents::OnPrint, c); }
    HRESULT RaiseRaw(DISPID id, std::span<Variant> args) { return events_->Raise(id, args); }
    bool HasSink() const { return events_->HasSinks(); }

    // ---- the contract: every member by Take ------------------------------------------
    using I = ICashDriverAuto;
    HRESULT get_PropertiesForm(std::int32_t* Value) override { return Take<&I::get_PropertiesForm>(Value); }
    HRESULT get_InfoForm(std::int32_t* Value) override { return Take<&I::get_InfoForm>(Value); }
    HRESULT get_Properties(Variant* Value) override { return Take<&I::get_Properties>(Value); }
    HRESULT set_Properties(const Variant& Value) override { return Take<&I::set_Properties>(Value); }
    HRESULT Init(const Variant& P, std::string* Cause, std::int32_t* Value) override {
        return Take<&I::Init>(P, Cause, Value);
    }
    HRESULT Done() override { return Take<&I::Done>(); }
    HRESULT get_ComNumber(std::uint8_t* Value) override { return Take<&I::get_ComNumber>(Value); }
    HRESULT set_ComNumber(std::uint8_t Value) override { return Take<&I::set_ComNumber>(Value); }
    HRESULT get_Baud(std::int32_t* Value) override { return Take<&I::get_Baud>(Value); }
    HRESULT set_Baud(std::int32_t Value) override { return Take<&I::set_Baud>(Value); }
    HRESULT get_AdvProperties(Variant* Value) override { return Take<&I::get_AdvProperties>(Value); }
    HRESULT set_AdvProperties(const Variant& Value) override { return Take<&I::set_AdvProperties>(Value); }
    HRESULT get_AdvPropertiesForm(std::int32_t* Value) override { return Take<&I::get_AdvPropertiesForm>(Value); }
    HRESULT get_ProgramItems(std::string* Value) override { return Take<&I::get_ProgramItems>(Value); }
    HRESULT get_XReportItems(std::string* Value) override { return Take<&I::get_XReportItems>(Value); }
    HRESULT get_ZReportItems(std::string* Value) override { return Take<&I::get_ZReportItems>(Value); }
    HRESULT GetXReport(const std::string& Items, std::int32_t* Value) override {
        return Take<&I::GetXReport>(Items, Value);
    }
    HRESULT GetZReport(const std::string& Items, std::int32_t* Value) override {
        return Take<&I::GetZReport>(Items, Value);
    }
    HRESULT GetProgram(const std::string& Items, std::int32_t* Value) override {
        return Take<&I::GetProgram>(Items, Value);
    }
    HRESULT set_SpoolerSetup(const Variant& Value) override { return Take<&I::set_SpoolerSetup>(Value); }
    HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override {
        return Take<&I::AddPayDep>(Name, Count, SumWithoutNDS, Sum, NDep, Value);
    }
    HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                      std::int32_t* Value) override {
        return Take<&I::AddPayArt>(Count, SumWithoutNDS, Sum, NArt, Value);
    }
    HRESULT AddCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Take<&I::AddCash>(Sum, PayType, Info, Value);
    }
    HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) override {
        return Take<&I::CloseCheck>(Sum, PayType, Value);
    }
    HRESULT RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password,
                  std::int32_t* Value) override {
        return Take<&I::RegOp>(NOp, NameOp, Password, Value);
    }
    HRESULT UnRegOp(std::int32_t* Value) override { return Take<&I::UnRegOp>(Value); }
    HRESULT get_InInteraction(bool* Value) override { return Take<&I::get_InInteraction>(Value); }
    HRESULT get_ID(std::string* Value) override { return Take<&I::get_ID>(Value); }
    HRESULT AddInfo(const std::string& Value, std::int32_t* Value1) override {
        return Take<&I::AddInfo>(Value, Value1);
    }
    HRESULT Restore(std::int32_t* Value) override { return Take<&I::Restore>(Value); }
    HRESULT Terminate(std::int32_t* Value) override { return Take<&I::Terminate>(Value); }
    HRESULT get_EventIID(std::string* Value) override { return Take<&I::get_EventIID>(Value); }
    HRESULT get_Constraints(Variant* Value) override { return Take<&I::get_Constraints>(Value); }
    HRESULT ReturnCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Take<&I::ReturnCash>(Sum, PayType, Info, Value);
    }
    HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) override {
        return Take<&I::DelPayDep>(SumWithoutNDS, Sum, NDep, Value);
    }
    HRESULT DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt, std::int32_t* Value) override {
        return Take<&I::DelPayArt>(SumWithoutNDS, Sum, NArt, Value);
    }
    HRESULT get_TrashID(std::string* Value) override { return Take<&I::get_TrashID>(Value); }
    HRESULT OpenCheck(const std::string& Info, std::int32_t* Value) override {
        return Take<&I::OpenCheck>(Info, Value);
    }
    HRESULT ProgramAfterReg(const std::string& Param, std::int32_t* Value) override {
        return Take<&I::ProgramAfterReg>(Param, Value);
    }
    HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                   const std::string& Description, bool Return, std::int32_t* Value) override {
        return Take<&I::SetArt>(NArt, NDep, NTax, Price, Description, Return, Value);
    }
    HRESULT get_BeginMsg(std::string* Value) override { return Take<&I::get_BeginMsg>(Value); }
    HRESULT get_CashModelDescription(std::string* Value) override { return Take<&I::get_CashModelDescription>(Value); }

private:
    // The contract's row of the member whose C++ function is Fn.
    template <auto Fn>
    static const MemberInfo& RowOf() {
        static const MemberInfo& row = []() -> const MemberInfo& {
            for (const MemberInfo& m : ICashDriverAuto::TypeInfo().Members())
                if (m.compiledSlot == detail::VirtualSlot(Fn)) return m;
            throw std::logic_error("a member without a row in the contract's table");
        }();
        return row;
    }

    // Records the call, then answers it as the script says.
    template <auto Fn, class... A>
    HRESULT Take(A... a) {
        return Guard([&] {
            const MemberInfo& row = RowOf<Fn>();
            // Every parameter before the result is an argument; a pointer one is in/out.
            constexpr std::size_t argCount = sizeof...(A) - (detail::Thunk<Fn>::hasResult ? 1 : 0);
            std::tuple<A...> params(a...);
            TDriverCall call{&row, {}};
            ForEach<sizeof...(A)>([&]<std::size_t K>() {
                if constexpr (K < argCount) {
                    const auto& p = std::get<K>(params);
                    if constexpr (std::is_pointer_v<std::remove_cvref_t<decltype(p)>>)
                        call.args.push_back(detail::ToVariant(*p));
                    else
                        call.args.push_back(detail::ToVariant(p));
                }
            });
            Calls.push_back(call.Text());
            if (OnCall) OnCall(call);
            if (Failing.count(row.name)) throw Exception(row.name + " failed");

            Variant result;
            bool answered = false;
            if (const auto it = answers_.find(call.Key()); it != answers_.end()) {
                result = it->second(call);
                answered = true;
            } else if (row.kind == MemberKind::Method && detail::Thunk<Fn>::hasResult &&
                       (row.ResultType() == VT_HRESULT || row.ResultType() == VT_I4)) {
                result = Variant(OnOperation ? OnOperation(call) : NextId++);
                answered = true;
            }
            ForEach<sizeof...(A)>([&]<std::size_t K>() {
                using P = std::tuple_element_t<K, std::tuple<A...>>;
                if constexpr (std::is_pointer_v<P>) {
                    using T = std::remove_pointer_t<P>;
                    P out = std::get<K>(params);
                    if constexpr (K < argCount)
                        *out = detail::ValueTraits<T>::From(call.args[K]);
                    else
                        *out = answered ? detail::ValueTraits<T>::From(result) : T{};
                }
            });
        });
    }

    template <std::size_t N, class F>
    static void ForEach(F&& f) {
        [&]<std::size_t... K>(std::index_sequence<K...>) {
            (f.template operator()<K>(), ...);
        }(std::make_index_sequence<N>{});
    }

    TConnectionPoint* events_ = nullptr;
    std::map<std::string, Answer> answers_;
};

// The fake on the contract's own interface.
using TFakeCashDriver = TFakeCashDriverOf<>;

}  // namespace tolver::testutil
