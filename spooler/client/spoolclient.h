#pragma once
// A C++ client of the spooler's automation server (QtDBus on the session bus): the
// two automation objects as classes whose members are the rows of the member table
// (automationbus.h), and the event as a callback. Each object is made
// by the spooler's factory for this connection and released when the class object
// goes (or the connection closes). The spooler is started by bus activation when it
// does not run and its activation file is installed ("Spooler --regserver").
//
// Calls wait for their answer serving this thread's event loop meanwhile, so that
// events keep arriving during a modal member such as GetRegDialog; the modal members
// wait without a time-out, every other gives up after the bus's default time-out.
// Failures raise SpoolError.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/variant/variant.h"
#include "spooler/automation/buswire.h"
#include "spooler/automation/automationbus.h"

namespace tolver::spooler::client {

class SpoolError : public std::runtime_error {
public:
    SpoolError(const QString& name, const QString& message)
        : std::runtime_error((name + QStringLiteral(": ") + message).toStdString()), name_(name), message_(message) {}
    // The D-Bus error name; org.freedesktop.DBus.Error.ServiceUnknown when no spooler
    // runs and none can be started.
    const QString& name() const { return name_; }
    const QString& message() const { return message_; }
    // The HRESULT of a failing member, 0 for other errors.
    std::uint32_t hresult() const;
    // No spooler could be reached.
    bool noSpooler() const;

private:
    QString name_;
    QString message_;
};

// Sends message and returns its answer (or the error that stands for it), running this
// thread's event loop without user input meanwhile; timeout in ms, -1 for the bus's
// default.
QDBusMessage CallServingEvents(QDBusConnection& connection, const QDBusMessage& message, int timeout = -1);

// One automation object on the spooler.
class SpoolObject {
public:
    SpoolObject(const SpoolObject&) = delete;
    SpoolObject& operator=(const SpoolObject&) = delete;
    virtual ~SpoolObject();

    const QString& path() const { return path_; }
    QDBusConnection connection() const { return connection_; }
    // Any member by name with its D-Bus arguments; its out arguments.
    QList<QVariant> call(const QString& member, const QList<QVariant>& args = {});
    // Releases the object now (the destructor does nothing more).
    void release();

protected:
    SpoolObject(bool current, QDBusConnection connection);

    QDBusConnection connection_;
    QString path_;
    QString interface_;
    std::span<const bus::Member> members_;
};

namespace detail {

// Whether every out argument but a last Value is an in/out parameter.
constexpr bool OutsAreInOutsOrValue(const bus::Member& m) {
    const std::size_t n = bus::ArgCount(m.out);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string_view name = bus::ArgAt(m.out, k).name;
        if (k + 1 == n && name == "Value") continue;
        bool inOut = false;
        for (std::size_t i = 0; i < bus::ArgCount(m.in); ++i) inOut = inOut || bus::ArgAt(m.in, i).name == name;
        if (!inOut) return false;
    }
    return true;
}

}  // namespace detail

// An object whose members are the rows of Table, each called by its name with C++
// values that the row's types take (Currency for an amount, a whole number, a number,
// a text, a Boolean), checked at compile time:
//
//   const std::int32_t id = client.Call<"AddPayArt">(1, Currency::Parse("6"), Currency::Parse("6"), 5);
//
// Call returns the row's last out argument when it is Value (else nothing) and writes
// the other out arguments back into the in/out arguments given as variables.
template <const auto& Table>
class SpoolMembers : public SpoolObject {
public:
    template <bus::MemberName Name, class... A>
    auto Call(A&&... args) {
        constexpr int index = bus::MemberIndex(Table, Name.view());
        static_assert(index >= 0, "the member table has no member of this name");
        static_assert(bus::ArgCount(Table[index].in) == sizeof...(A), "the member takes another number of arguments");
        static_assert(detail::OutsAreInOutsOrValue(Table[index]));
        return CallRow<index>(std::index_sequence_for<A...>{}, std::forward<A>(args)...);
    }

protected:
    using SpoolObject::SpoolObject;

private:
    template <int Index, std::size_t... K, class... A>
    auto CallRow(std::index_sequence<K...>, A&&... args) {
        constexpr const bus::Member& row = Table[Index];
        const QList<QVariant> out = call(QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size())),
                                         {bus::ToWire<bus::ArgAt(row.in, K).type>(args)...});
        (WriteBack<Index, K>(out, std::forward<A>(args)), ...);
        constexpr std::size_t outs = bus::ArgCount(row.out);
        if constexpr (outs > 0 && bus::ArgAt(row.out, outs - 1).name == "Value")
            return bus::FromWire<bus::ArgAt(row.out, outs - 1).type>(out.value(static_cast<int>(outs - 1)));
    }

    template <int Index, std::size_t K, class A>
    static void WriteBack(const QList<QVariant>& out, A&& arg) {
        constexpr const bus::Member& row = Table[Index];
        constexpr bus::Arg a = bus::ArgAt(row.in, K);
        constexpr int at = bus::OutIndex(row, a.name);
        if constexpr (at >= 0 && std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>)
            arg = bus::FromWire<a.type>(out.value(at));
    }
};

class SpoolAuto : public SpoolMembers<bus::kSpoolAutoMembers> {
public:
    explicit SpoolAuto(QDBusConnection connection = QDBusConnection::sessionBus());
};

class SpoolAuto1 : public SpoolMembers<bus::kSpoolAuto1Members> {
public:
    using CommandResultHandler = std::function<void(std::int32_t CommandID, std::int32_t CommandResult)>;

    explicit SpoolAuto1(QDBusConnection connection = QDBusConnection::sessionBus());
    ~SpoolAuto1() override;

    // Connects a sink: every command result of the spooler (this client's and every
    // other's) reaches handler, in the spooler's order, from this thread's event loop.
    void Advise(CommandResultHandler handler);

private:
    class Receiver;
    std::unique_ptr<Receiver> receiver_;
};

}  // namespace tolver::spooler::client
