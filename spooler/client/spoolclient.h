#pragma once
// A C++ client of the spooler's automation server (QtDBus on the session bus): the
// two automation objects as classes and the event as a callback. Each object is made
// by the spooler's factory for this connection and released when the class object
// goes (or the connection closes). The spooler is started by bus activation when it
// does not run and its activation file is installed ("Spooler --regserver").
//
// Calls wait for their answer without a time-out, serving this thread's event loop
// meanwhile, so that events keep arriving during a modal member such as GetRegDialog.
// Failures raise SpoolError.

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/variant/variant.h"

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
};

class SpoolAuto : public SpoolObject {
public:
    explicit SpoolAuto(QDBusConnection connection = QDBusConnection::sessionBus());

    void CloseCheck(Currency Avans);
    void AddPayDep(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NDep);
    void AddPayArt(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NArt);
    void SetIdent(const std::string& text);
    std::string DriverInfo();
    void AddCash(Currency Sum, bool Print);
    void ReturnCash(Currency Sum, bool Print);
    void Reg();
    void Prepare(std::int32_t pHandle, std::int32_t aID);
    std::string ID();
    bool CanExit(std::string& Info);
};

class SpoolAuto1 : public SpoolObject {
public:
    using CommandResultHandler = std::function<void(std::int32_t CommandID, std::int32_t CommandResult)>;

    explicit SpoolAuto1(QDBusConnection connection = QDBusConnection::sessionBus());
    ~SpoolAuto1() override;

    // Connects a sink: every command result of the spooler (this client's and every
    // other's) reaches handler, in the spooler's order, from this thread's event loop.
    void Advise(CommandResultHandler handler);

    std::int32_t AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                           std::int32_t NDep);
    std::int32_t AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t AddCash(Currency Sum, std::int32_t PayType, const std::string& Info);
    std::int32_t ReturnCash(Currency Sum, std::int32_t PayType, const std::string& Info);
    std::int32_t CloseCheck(Currency Sum, std::int32_t PayType);
    std::int32_t DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password);
    std::int32_t UnRegOp();
    std::int32_t AddInfo(const std::string& Text);
    std::int32_t GetRegDialog();
    bool CanExit(std::string& Info);
    std::string ID();
    std::string ArtItems();
    std::int32_t GetArtParams(std::int32_t N, std::string& Description, std::int32_t& NDep, std::int32_t& NTax,
                              Currency& Price);
    void SetControlEnabled(bool value);

private:
    class Receiver;
    std::unique_ptr<Receiver> receiver_;
};

}  // namespace tolver::spooler::client
