#include "spooler/client/spoolclient.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <limits>

#include "spooler/automation/automationbus.h"

namespace tolver::spooler::client {

namespace {

// No time-out: a modal member answers when its dialog closes.
constexpr int kNoTimeout = std::numeric_limits<int>::max();

QList<QVariant> Send(QDBusConnection& connection, const QString& path, const QString& interface,
                     const QString& member, const QList<QVariant>& args, bool modal = false) {
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(bus::kServiceName), path, interface, member);
    message.setArguments(args);
    // Every other member answers at once; a spooler that does not answer within the
    // bus's default time-out is reported as such instead of stopping the client for good.
    const QDBusMessage reply = CallServingEvents(connection, message, modal ? kNoTimeout : -1);
    if (reply.type() == QDBusMessage::ErrorMessage) throw SpoolError(reply.errorName(), reply.errorMessage());
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.NoReply"), QStringLiteral("no answer from the spooler"));
    return reply.arguments();
}

}  // namespace

QDBusMessage CallServingEvents(QDBusConnection& connection, const QDBusMessage& message, int timeout) {
    // Not QDBusConnection::call(..., QDBus::BlockWithGui): in Qt 6.4 an answer that the
    // bus thread takes in just after the call has been sent is never signalled to its
    // local event loop, and the caller waits for good, whatever the time-out. The
    // watcher notices an answer that came before it, under the pending call's lock.
    QDBusPendingCall pending = connection.asyncCall(message, timeout);
    if (!pending.isFinished()) {
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        if (!pending.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    return pending.reply();
}

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
      interface_(QLatin1String(current ? bus::kSpoolAuto1Interface : bus::kSpoolAutoInterface)),
      members_(current ? std::span<const bus::Member>(bus::kSpoolAuto1Members)
                       : std::span<const bus::Member>(bus::kSpoolAutoMembers)) {
    if (!connection_.isConnected())
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
                         QStringLiteral("no D-Bus session bus: ") + connection_.lastError().message());
    const QList<QVariant> out =
        Send(connection_, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface),
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
    Send(connection_, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface), QStringLiteral("Release"),
         {QVariant::fromValue(QDBusObjectPath(path))});
}

QList<QVariant> SpoolObject::call(const QString& member, const QList<QVariant>& args) {
    if (path_.isEmpty())
        throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"), QStringLiteral("the object was released"));
    const bus::Member* row = bus::FindMember(members_, member.toStdString());
    return Send(connection_, path_, interface_, member, args, row && (row->flags & bus::kModal));
}

// ---- SpoolAuto -----------------------------------------------------------------------

SpoolAuto::SpoolAuto(QDBusConnection connection) : SpoolMembers(false, std::move(connection)) {}

// ---- SpoolAuto1 ----------------------------------------------------------------------

class SpoolAuto1::Receiver : public QObject {
    Q_OBJECT
public:
    std::vector<CommandResultHandler> handlers;
    QString path;  // the object's, kept for the disconnect after a release
public Q_SLOTS:
    void onCommandResult(int id, int result) {
        const auto copy = handlers;
        for (const auto& handler : copy) handler(id, result);
    }
};

SpoolAuto1::SpoolAuto1(QDBusConnection connection) : SpoolMembers(true, std::move(connection)) {}

SpoolAuto1::~SpoolAuto1() {
    if (receiver_)
        connection_.disconnect(QLatin1String(bus::kServiceName), receiver_->path, QLatin1String(bus::kEventsInterface),
                               QStringLiteral("OnCommandResult"), receiver_.get(), SLOT(onCommandResult(int, int)));
}

void SpoolAuto1::Advise(CommandResultHandler handler) {
    if (!receiver_) {
        receiver_ = std::make_unique<Receiver>();
        receiver_->path = path_;
        // The signal is sent to this connection only; the match is for our own object.
        if (!connection_.connect(QLatin1String(bus::kServiceName), path_, QLatin1String(bus::kEventsInterface),
                                 QStringLiteral("OnCommandResult"), receiver_.get(), SLOT(onCommandResult(int, int))))
            throw SpoolError(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("cannot receive events"));
        Send(connection_, path_, QLatin1String(bus::kConnectionPointInterface), QStringLiteral("Advise"), {});
    }
    receiver_->handlers.push_back(std::move(handler));
}

}  // namespace tolver::spooler::client

#include "spoolclient.moc"
