#pragma once
// How each argument type of the member table (automationbus.h) crosses the bus: x an
// amount as its raw ten-thousandths, i a 32-bit whole number, d a double, s UTF-8
// text, b a Boolean. The server's bindings (memberbinding.h) and the client library
// (spoolclient.h) both convert through it. Header only.

#include <QString>
#include <QVariant>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/variant/variant.h"

namespace tolver::spooler::bus {

// A C++ value as an argument of the given type letter, and back.
template <char Type, class A>
QVariant ToWire(const A& a) {
    using V = std::remove_cvref_t<A>;
    if constexpr (Type == 'x') {
        static_assert(std::is_same_v<V, Currency>, "an amount is a Currency");
        return QVariant::fromValue<qlonglong>(a.raw());
    } else if constexpr (Type == 'i') {
        static_assert((std::is_integral_v<V> && !std::is_same_v<V, bool>) || std::is_enum_v<V>, "a whole number");
        return QVariant::fromValue<int>(static_cast<int>(a));
    } else if constexpr (Type == 'd') {
        static_assert(std::is_arithmetic_v<V> && !std::is_same_v<V, bool>, "a number");
        return QVariant::fromValue<double>(static_cast<double>(a));
    } else if constexpr (Type == 's') {
        static_assert(std::is_convertible_v<const A&, std::string_view>, "a text");
        const std::string_view text = a;
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    } else {
        static_assert(Type == 'b' && std::is_same_v<V, bool>, "a Boolean");
        return QVariant::fromValue<bool>(a);
    }
}

template <char Type>
auto FromWire(const QVariant& v) {
    if constexpr (Type == 'x')
        return Currency::FromRaw(v.toLongLong());
    else if constexpr (Type == 'i')
        return static_cast<std::int32_t>(v.toInt());
    else if constexpr (Type == 'd')
        return v.toDouble();
    else if constexpr (Type == 's')
        return v.toString().toStdString();
    else
        return v.toBool();
}

}  // namespace tolver::spooler::bus
