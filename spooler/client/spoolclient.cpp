#include "spooler/client/spoolclient.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <limits>

#include "spooler/automation/automationbus.h"

namespace tolver::spooler::client {

namespace {

// No time-out: a modal member answers when its dialog closes.
constexpr int kNoTimeout = std::numeric_limits<int>::max();

QList<QVariant> Call(QDBusConnection& connection, const QString& path, const QString& interface,
                     const QString& member, const QList<QVariant>& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(bus::kServiceName), path, interface, member);
    message.setArguments(args);
    // Every other member answers at once; a spooler that does not answer within the
    // bus's default time-out is reported as such instead of stopping the client for good.
    const bool modal = member == QLatin1String("Reg") || member == QLatin1String("GetRegDialog");
    const QDBusMessage reply = connection.call(message, QDBus::BlockWithGui, modal ? kNoTimeout : -1);
    if (reply.type() == QDBusMessage::ErrorMessage) throw SpoolError(reply.errorName(), reply.errorMessage());
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.NoReply"), QStringLiteral("no answer from the spooler"));
    return reply.arguments();
}

QVariant Cy(Currency c) { return QVariant::fromValue<qlonglong>(c.raw()); }
QVariant Str(const std::string& s) { return QString::fromStdString(s); }
QVariant Int(std::int32_t v) { return QVariant::fromValue<int>(v); }

std::int32_t IntValue(const QList<QVariant>& out) { return out.value(out.size() - 1).toInt(); }
std::string StrValue(const QList<QVariant>& out) { return out.value(0).toString().toStdString(); }

}  // namespace

std::uint32_t SpoolError::hresult() const {
    const QString prefix = QLatin1String(bus::kErrorPrefix);
    if (!name_.startsWith(prefix)) return 0;
    bool ok = false;
    const std::uint32_t code = name_.mid(prefix.size()).toUInt(&ok, 16);
    return ok ? code : 0;
}

bool SpoolError::noSpooler() const {
    return name_ == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           name_ == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           name_ == QLatin1String("org.freedesktop.DBus.Error.Spawn.ChildExited") ||
           name_ == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

// ---- SpoolObject ---------------------------------------------------------------------

SpoolObject::SpoolObject(bool current, QDBusConnection connection)
    : connection_(std::move(connection)),
      interface_(QLatin1String(current ? bus::kSpoolAuto1Interface : bus::kSpoolAutoInterface)) {
    if (!connection_.isConnected())
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
                         QStringLiteral("no D-Bus session bus: ") + connection_.lastError().message());
    const QList<QVariant> out =
        Call(connection_, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface),
             current ? QStringLiteral("CreateSpoolAuto1") : QStringLiteral("CreateSpoolAuto"), {});
    path_ = out.value(0).value<QDBusObjectPath>().path();
}

SpoolObject::~SpoolObject() {
    try {
        release();
    } catch (const SpoolError&) {
        // The spooler is gone: nothing is left to release.
    }
}

void SpoolObject::release() {
    if (path_.isEmpty()) return;
    const QString path = std::exchange(path_, QString());
    Call(connection_, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface), QStringLiteral("Release"),
         {QVariant::fromValue(QDBusObjectPath(path))});
}

QList<QVariant> SpoolObject::call(const QString& member, const QList<QVariant>& args) {
    if (path_.isEmpty())
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"), QStringLiteral("the object was released"));
    return Call(connection_, path_, interface_, member, args);
}

// ---- SpoolAuto -----------------------------------------------------------------------

SpoolAuto::SpoolAuto(QDBusConnection connection) : SpoolObject(false, std::move(connection)) {}

void SpoolAuto::CloseCheck(Currency Avans) { call(QStringLiteral("CloseCheck"), {Cy(Avans)}); }
void SpoolAuto::AddPayDep(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NDep) {
    call(QStringLiteral("AddPayDep"), {Cy(SumWithoutNDS), Cy(NDS), Cy(Sum), Int(NDep)});
}
void SpoolAuto::AddPayArt(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NArt) {
    call(QStringLiteral("AddPayArt"), {Cy(SumWithoutNDS), Cy(NDS), Cy(Sum), Int(NArt)});
}
void SpoolAuto::SetIdent(const std::string& text) { call(QStringLiteral("Ident"), {Str(text)}); }
std::string SpoolAuto::DriverInfo() { return StrValue(call(QStringLiteral("DriverInfo"))); }
void SpoolAuto::AddCash(Currency Sum, bool Print) { call(QStringLiteral("AddCash"), {Cy(Sum), Print}); }
void SpoolAuto::ReturnCash(Currency Sum, bool Print) { call(QStringLiteral("ReturnCash"), {Cy(Sum), Print}); }
void SpoolAuto::Reg() { call(QStringLiteral("Reg")); }
void SpoolAuto::Prepare(std::int32_t pHandle, std::int32_t aID) { call(QStringLiteral("Prepare"), {Int(pHandle), Int(aID)}); }
std::string SpoolAuto::ID() { return StrValue(call(QStringLiteral("ID"))); }
bool SpoolAuto::CanExit(std::string& Info) {
    const QList<QVariant> out = call(QStringLiteral("CanExit"), {Str(Info)});
    Info = out.value(0).toString().toStdString();
    return out.value(1).toBool();
}

// ---- SpoolAuto1 ----------------------------------------------------------------------

class SpoolAuto1::Receiver : public QObject {
    Q_OBJECT
public:
    std::vector<CommandResultHandler> handlers;
public Q_SLOTS:
    void onCommandResult(int id, int result) {
        const auto copy = handlers;
        for (const auto& handler : copy) handler(id, result);
    }
};

SpoolAuto1::SpoolAuto1(QDBusConnection connection) : SpoolObject(true, std::move(connection)) {}

SpoolAuto1::~SpoolAuto1() {
    if (receiver_)
        connection_.disconnect(QLatin1String(bus::kServiceName), path_, QLatin1String(bus::kEventsInterface),
                               QStringLiteral("OnCommandResult"), receiver_.get(), SLOT(onCommandResult(int, int)));
}

void SpoolAuto1::Advise(CommandResultHandler handler) {
    if (!receiver_) {
        receiver_ = std::make_unique<Receiver>();
        // The signal is sent to this connection only; the match is for our own object.
        if (!connection_.connect(QLatin1String(bus::kServiceName), path_, QLatin1String(bus::kEventsInterface),
                                 QStringLiteral("OnCommandResult"), receiver_.get(), SLOT(onCommandResult(int, int))))
            throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("cannot receive events"));
        Call(connection_, path_, QLatin1String(bus::kConnectionPointInterface), QStringLiteral("Advise"), {});
    }
    receiver_->handlers.push_back(std::move(handler));
}

std::int32_t SpoolAuto1::AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                                   std::int32_t NDep) {
    return IntValue(call(QStringLiteral("AddPayDep"), {Str(Name), Count, Cy(SumWithoutNDS), Cy(Sum), Int(NDep)}));
}
std::int32_t SpoolAuto1::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    return IntValue(call(QStringLiteral("AddPayArt"), {Count, Cy(SumWithoutNDS), Cy(Sum), Int(NArt)}));
}
std::int32_t SpoolAuto1::AddCash(Currency Sum, std::int32_t PayType, const std::string& Info) {
    return IntValue(call(QStringLiteral("AddCash"), {Cy(Sum), Int(PayType), Str(Info)}));
}
std::int32_t SpoolAuto1::ReturnCash(Currency Sum, std::int32_t PayType, const std::string& Info) {
    return IntValue(call(QStringLiteral("ReturnCash"), {Cy(Sum), Int(PayType), Str(Info)}));
}
std::int32_t SpoolAuto1::CloseCheck(Currency Sum, std::int32_t PayType) {
    return IntValue(call(QStringLiteral("CloseCheck"), {Cy(Sum), Int(PayType)}));
}
std::int32_t SpoolAuto1::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    return IntValue(call(QStringLiteral("DelPayArt"), {Cy(SumWithoutNDS), Cy(Sum), Int(NArt)}));
}
std::int32_t SpoolAuto1::RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password) {
    return IntValue(call(QStringLiteral("RegOp"), {Int(NOp), Str(NameOp), Str(Password)}));
}
std::int32_t SpoolAuto1::UnRegOp() { return IntValue(call(QStringLiteral("UnRegOp"))); }
std::int32_t SpoolAuto1::AddInfo(const std::string& Text) { return IntValue(call(QStringLiteral("AddInfo"), {Str(Text)})); }
std::int32_t SpoolAuto1::GetRegDialog() { return IntValue(call(QStringLiteral("GetRegDialog"))); }
bool SpoolAuto1::CanExit(std::string& Info) {
    const QList<QVariant> out = call(QStringLiteral("CanExit"), {Str(Info)});
    Info = out.value(0).toString().toStdString();
    return out.value(1).toBool();
}
std::string SpoolAuto1::ID() { return StrValue(call(QStringLiteral("ID"))); }
std::string SpoolAuto1::ArtItems() { return StrValue(call(QStringLiteral("ArtItems"))); }
std::int32_t SpoolAuto1::GetArtParams(std::int32_t N, std::string& Description, std::int32_t& NDep, std::int32_t& NTax,
                                      Currency& Price) {
    const QList<QVariant> out =
        call(QStringLiteral("GetArtParams"), {Int(N), Str(Description), Int(NDep), Int(NTax), Cy(Price)});
    Description = out.value(0).toString().toStdString();
    NDep = out.value(1).toInt();
    NTax = out.value(2).toInt();
    Price = Currency::FromRaw(out.value(3).toLongLong());
    return IntValue(out);
}
void SpoolAuto1::SetControlEnabled(bool value) { call(QStringLiteral("ControlEnabled"), {value}); }

}  // namespace tolver::spooler::client

#include "spoolclient.moc"
