#pragma once
// One binding per automation member: the row of the member table (automationbus.h)
// and the member function of the object class that runs it. The binding reads the
// call's arguments by the function's parameter types and answers with its results
// in the row's order: the in/out parameters, then the function's result. Bind checks
// at compile time that the function takes and gives exactly what its row declares,
// so what the bus shows and what runs cannot drift apart.
//
// Parameter types: Currency (x), std::int32_t and TPayType (i), double (d),
// std::string (s), bool (b); a non-const reference is an in/out parameter. A modal
// member (kModal) takes a last parameter std::function<void(R...)> and answers, with
// the R values, when it calls that.

#include <QList>
#include <QString>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/hresult.h"
#include "platform/variant/variant.h"
#include "spooler/automation/automationbus.h"
#include "spooler/automation/buswire.h"

namespace tolver::spooler {

// Each argument type of a member function with its type letter, crossing the bus as
// buswire.h says, with the checks common to every argument of that type.
template <class T>
struct BusValue;

template <>
struct BusValue<Currency> {
    static constexpr char kType = 'x';
    static Currency Read(const QVariant& v) { return bus::FromWire<kType>(v); }
    static QVariant Write(Currency c) { return bus::ToWire<kType>(c); }
};

template <>
struct BusValue<std::int32_t> {
    static constexpr char kType = 'i';
    static std::int32_t Read(const QVariant& v) { return bus::FromWire<kType>(v); }
    static QVariant Write(std::int32_t v) { return bus::ToWire<kType>(v); }
};

template <>
struct BusValue<TPayType> {
    static constexpr char kType = 'i';
    static TPayType Read(const QVariant& v) {
        const std::int32_t n = bus::FromWire<kType>(v);
        if (n < 0 || n > 2) throw EOleError("PayType: 0 (Cash), 1 (Check) или 2 (Credit)", E_INVALIDARG);
        return static_cast<TPayType>(n);
    }
};

template <>
struct BusValue<double> {
    static constexpr char kType = 'd';
    static double Read(const QVariant& v) {
        const double d = bus::FromWire<kType>(v);
        if (!std::isfinite(d)) throw EOleError("Количество не является числом", E_INVALIDARG);
        return d;
    }
};

template <>
struct BusValue<std::string> {
    static constexpr char kType = 's';
    static std::string Read(const QVariant& v) { return bus::FromWire<kType>(v); }
    static QVariant Write(const std::string& s) { return bus::ToWire<kType>(s); }
};

template <>
struct BusValue<bool> {
    static constexpr char kType = 'b';
    static bool Read(const QVariant& v) { return bus::FromWire<kType>(v); }
    static QVariant Write(bool b) { return bus::ToWire<kType>(b); }
};

// A member's answer: its out arguments, at once or, for a modal member, later.
using MemberAnswer = std::function<void(const QList<QVariant>& out)>;

template <class Object>
struct MemberBinding {
    const bus::Member* row;
    // Runs the member with the call's arguments (of the row's signature). A refused
    // argument or a failing member raises EOleError and answers nothing.
    void (*invoke)(Object& object, const QList<QVariant>& args, const MemberAnswer& answer);
};

template <class Object>
const MemberBinding<Object>* FindBinding(std::span<const MemberBinding<Object>> bindings, std::string_view name) {
    for (const auto& b : bindings)
        if (b.row->name == name) return &b;
    return nullptr;
}

// Whether the bindings bind every row of the table once, in the table's order.
template <class Object, std::size_t N, std::size_t M>
constexpr bool BindsEveryRow(const MemberBinding<Object> (&bindings)[N], const bus::Member (&table)[M]) {
    if (N != M) return false;
    for (std::size_t i = 0; i < N; ++i)
        if (bindings[i].row->name != table[i].name) return false;
    return true;
}

namespace binding {

template <class P>
using Value = std::remove_cvref_t<P>;
template <class P>
inline constexpr bool kInOut = std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;

template <class T>
struct IsAnswer : std::false_type {};
template <class... R>
struct IsAnswer<std::function<void(R...)>> : std::true_type {
    static constexpr char kTypes[] = {BusValue<Value<R>>::kType..., 0};
};

template <class... P>
struct LastIsAnswer : std::false_type {};
template <class P>
struct LastIsAnswer<P> : IsAnswer<Value<P>> {};
template <class P0, class P1, class... P>
struct LastIsAnswer<P0, P1, P...> : LastIsAnswer<P1, P...> {};

template <class F>
struct Traits;
template <class C, class R, class... P>
struct Traits<R (C::*)(P...)> {
    using Object = C;
    static constexpr std::size_t kCount = sizeof...(P);
    static constexpr bool kModal = LastIsAnswer<P...>::value;
    static constexpr std::size_t kIn = kModal ? kCount - 1 : kCount;
};

template <class P>
constexpr char TypeOf() {
    if constexpr (IsAnswer<Value<P>>::value)
        return 0;
    else
        return BusValue<Value<P>>::kType;
}

// Whether the row declares exactly the function's arguments and results.
template <class T, class R, class... P>
constexpr bool Agrees(const bus::Member& row) {
    using Tr = Traits<R (T::*)(P...)>;
    constexpr char types[] = {TypeOf<P>()..., 0};
    constexpr bool inOut[] = {kInOut<P>..., false};
    if (bus::ArgCount(row.in) != Tr::kIn) return false;
    std::size_t out = 0;
    for (std::size_t k = 0; k < Tr::kIn; ++k) {
        const bus::Arg a = bus::ArgAt(row.in, k);
        if (a.type != types[k]) return false;
        if (inOut[k]) {
            // The in/out parameters come first among the outs, in their order.
            const bus::Arg o = bus::ArgAt(row.out, out++);
            if (o.name != a.name || o.type != a.type) return false;
        } else if (bus::OutIndex(row, a.name) >= 0) {
            return false;
        }
    }
    std::string_view results;
    char result[2] = {0, 0};
    if constexpr (Tr::kModal) {
        results = IsAnswer<Value<std::tuple_element_t<Tr::kCount - 1, std::tuple<P...>>>>::kTypes;
    } else if constexpr (!std::is_void_v<R>) {
        result[0] = BusValue<Value<R>>::kType;
        results = std::string_view(result, 1);
    }
    if (bus::ArgCount(row.out) != out + results.size()) return false;
    for (std::size_t k = 0; k < results.size(); ++k)
        if (bus::ArgAt(row.out, out + k).type != results[k]) return false;
    return Tr::kModal == ((row.flags & bus::kModal) != 0);
}

// An argument while the member runs.
template <class P>
struct Slot {
    Value<P> value;
    decltype(auto) Pass() {
        if constexpr (kInOut<P>)
            return (value);
        else
            return static_cast<const Value<P>&>(value);
    }
};

template <class P>
void AddInOut(QList<QVariant>& out, const Slot<P>& slot) {
    if constexpr (kInOut<P>) out << BusValue<Value<P>>::Write(slot.value);
}

template <auto Fn, class T, class R, class... P, std::size_t... I>
void Invoke(T& object, const QList<QVariant>& args, const MemberAnswer& answer, std::index_sequence<I...>) {
    using Tr = Traits<R (T::*)(P...)>;
    using Params = std::tuple<P...>;
    [[maybe_unused]] const auto read = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using Q = std::tuple_element_t<K, Params>;
        if constexpr (K < Tr::kIn)
            return Slot<Q>{BusValue<Value<Q>>::Read(args[static_cast<int>(K)])};
        else  // a modal member's answer: it goes when the member calls it
            return Slot<Q>{[answer]<class... V>(const V&... values) {
                answer(QList<QVariant>{BusValue<Value<V>>::Write(values)...});
            }};
    };
    // Braces: the arguments are read in order, the first refusal first.
    std::tuple<Slot<P>...> held{read(std::integral_constant<std::size_t, I>{})...};
    const auto call = [&] { return std::apply([&](auto&... slot) { return (object.*Fn)(slot.Pass()...); }, held); };
    if constexpr (Tr::kModal) {
        call();
    } else {
        QList<QVariant> out;
        const auto inOuts = [&] { std::apply([&](auto&... slot) { (AddInOut(out, slot), ...); }, held); };
        if constexpr (std::is_void_v<R>) {
            call();
            inOuts();
        } else {
            const Value<R> result = call();
            inOuts();
            out << BusValue<Value<R>>::Write(result);
        }
        answer(out);
    }
}

template <auto Fn>
void Run(typename Traits<decltype(Fn)>::Object& object, const QList<QVariant>& args, const MemberAnswer& answer) {
    [&]<class T, class R, class... P>(R (T::*)(P...)) {
        Invoke<Fn, T, R, P...>(object, args, answer, std::index_sequence_for<P...>{});
    }(Fn);
}

}  // namespace binding

// The binding of the row named Name of Table to the member function Fn.
template <const auto& Table, bus::MemberName Name, auto Fn>
consteval auto Bind() {
    using Object = typename binding::Traits<decltype(Fn)>::Object;
    constexpr int index = bus::MemberIndex(Table, Name.view());
    static_assert(index >= 0, "the member table has no row of this name");
    static_assert([]<class R, class... P>(R (Object::*)(P...)) { return binding::Agrees<Object, R, P...>(Table[index]); }(Fn),
                  "the member function does not take and give what its row declares");
    return MemberBinding<Object>{&Table[index], &binding::Run<Fn>};
}

}  // namespace tolver::spooler
