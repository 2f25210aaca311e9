#include "spooler/automation/automationserver.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <exception>
#include <functional>

#include "platform/com/hresult.h"
#include "spooler/automation/automationbus.h"
#include "spooler/automation/memberbinding.h"
#include "spooler/automation/spoolauto.h"

namespace tolver::spooler {

namespace {

const QString kIntrospectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kPeer = QStringLiteral("org.freedesktop.DBus.Peer");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// A member of an object by its name: its row and how to run it.
struct BoundCall {
    const bus::Member* row = nullptr;
    std::function<void(const QList<QVariant>& args, const MemberAnswer& answer)> run;
};

template <class T>
BoundCall Bound(T* object, std::string_view name) {
    const MemberBinding<T>* b = FindBinding(T::Bindings(), name);
    if (!b) return {};
    return {b->row, [object, b](const QList<QVariant>& args, const MemberAnswer& answer) { b->invoke(*object, args, answer); }};
}

QDBusMessage HResultError(const QDBusMessage& message, HRESULT hr, const std::string& text) {
    const QString hex = QString::asprintf("%08X", static_cast<std::uint32_t>(hr));
    return message.createErrorReply(QLatin1String(bus::kErrorPrefix) + hex,
                                    QStringLiteral("HRESULT 0x") + hex + QStringLiteral(": ") + QString::fromStdString(text));
}

// Texts a client may pass. One that the register prints (a department name, a text
// line, the text of a cash movement or of a receipt's opening) may fill at most
// kPrintedLines lines of the register's line width; any other text (a password, a
// cashier's name, report items, an in/out parameter) kShortTextLimit characters, as
// much as the register takes of any. A longer text is refused before anything is
// done, so that no client can fill the queue for hours or hold the spooler.
constexpr std::size_t kPrintedLines = 50;
constexpr std::size_t kShortTextLimit = 255;
constexpr std::size_t kLineWidthWithoutDriver = 24;

bool IsPrintedText(const bus::Member& m, std::string_view arg) {
    return (arg == "Name" || arg == "Text" || arg == "Value" || arg == "Info") && bus::OutIndex(m, arg) < 0;
}

// Characters (code points) of a text from the bus.
std::size_t CharCount(const QString& text) {
    std::size_t n = 0;
    for (const QChar c : text) n += c.isLowSurrogate() ? 0 : 1;
    return n;
}

// Refuses (E_INVALIDARG) a text argument of the call longer than its bound.
void CheckTextBounds(const bus::Member& m, const QList<QVariant>& args, const TCashDriverConstraints& limits) {
    for (std::size_t i = 0; i < bus::ArgCount(m.in); ++i) {
        const bus::Arg arg = bus::ArgAt(m.in, i);
        if (arg.type != 's') continue;
        const std::string_view name = arg.name;
        const std::size_t length = CharCount(args.value(static_cast<int>(i)).toString());
        if (IsPrintedText(m, name)) {
            const std::size_t width =
                limits.NameLength > 0 ? static_cast<std::size_t>(limits.NameLength) : kLineWidthWithoutDriver;
            if (length > kPrintedLines * width)
                throw EOleError(std::string(name) + ": текст длиннее, чем печатает кассовый аппарат (длина " +
                                    std::to_string(length) + ", допустимо " + std::to_string(kPrintedLines * width) +
                                    ": " + std::to_string(kPrintedLines) + " строк по " + std::to_string(width) +
                                    " символов)",
                                E_INVALIDARG);
        } else if (length > kShortTextLimit) {
            throw EOleError(std::string(name) + ": текст длиннее допустимого (длина " + std::to_string(length) +
                                ", допустимо " + std::to_string(kShortTextLimit) + ")",
                            E_INVALIDARG);
        }
    }
}

// <arg> elements of "type:Name" pairs.
QString ArgsXml(std::string_view args, const char* direction) {
    QString xml;
    for (std::size_t i = 0; i < bus::ArgCount(args); ++i) {
        const bus::Arg arg = bus::ArgAt(args, i);
        xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
                   .arg(QString::fromUtf8(arg.name.data(), arg.name.size()), QString(QChar::fromLatin1(arg.type)),
                        QLatin1String(direction));
    }
    return xml;
}

QString InterfaceXml(const char* name, std::span<const bus::Member> members) {
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(QLatin1String(name));
    for (const bus::Member& m : members) {
        xml += QStringLiteral("    <method name=\"%1\">\n").arg(QString::fromUtf8(m.name.data(), m.name.size()));
        xml += QStringLiteral("      <annotation name=\"org.tolver.Spooler.DispId\" value=\"%1\"/>\n").arg(m.dispid);
        xml += ArgsXml(m.in, "in");
        xml += ArgsXml(m.out, "out");
        xml += QStringLiteral("    </method>\n");
    }
    return xml + QStringLiteral("  </interface>\n");
}

QString EventsXml() {
    return QStringLiteral(
               "  <interface name=\"%1\">\n"
               "    <method name=\"Advise\">\n      <arg name=\"Cookie\" type=\"u\" direction=\"out\"/>\n    </method>\n"
               "    <method name=\"Unadvise\">\n      <arg name=\"Cookie\" type=\"u\" direction=\"in\"/>\n    </method>\n"
               "  </interface>\n"
               "  <interface name=\"%2\">\n"
               "    <signal name=\"OnCommandResult\">\n"
               "      <annotation name=\"org.tolver.Spooler.DispId\" value=\"1\"/>\n"
               "      <arg name=\"CommandID\" type=\"i\"/>\n      <arg name=\"CommandResult\" type=\"i\"/>\n"
               "    </signal>\n  </interface>\n")
        .arg(QLatin1String(bus::kConnectionPointInterface), QLatin1String(bus::kEventsInterface));
}

QString FactoryXml() {
    return QStringLiteral(
               "  <interface name=\"%1\">\n"
               "    <method name=\"CreateSpoolAuto\">\n      <arg name=\"Object\" type=\"o\" direction=\"out\"/>\n    </method>\n"
               "    <method name=\"CreateSpoolAuto1\">\n      <arg name=\"Object\" type=\"o\" direction=\"out\"/>\n    </method>\n"
               "    <method name=\"Release\">\n      <arg name=\"Object\" type=\"o\" direction=\"in\"/>\n    </method>\n"
               "    <signal name=\"WindowMessage\">\n"
               "      <arg name=\"Handle\" type=\"i\"/>\n      <arg name=\"Msg\" type=\"u\"/>\n"
               "      <arg name=\"WParam\" type=\"i\"/>\n      <arg name=\"LParam\" type=\"i\"/>\n"
               "    </signal>\n  </interface>\n"
               "  <node name=\"SpoolAuto\"/>\n  <node name=\"SpoolAuto1\"/>\n")
        .arg(QLatin1String(bus::kFactoryInterface));
}

}  // namespace

struct AutomationServer::Object {
    QString path;
    QString owner;
    std::unique_ptr<TSpoolAuto> auto0;
    std::unique_ptr<TSpoolAuto1> auto1;
};

class AutomationServer::Node : public QDBusVirtualObject {
public:
    explicit Node(AutomationServer* server) : server_(server) {}
    QString introspect(const QString& path) const override { return server_->Introspect(path); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        return server_->HandleMessage(message);
    }

private:
    AutomationServer* server_;
};

AutomationServer::AutomationServer(AutomationHost* host, QDBusConnection connection, QObject* parent)
    : QObject(parent),
      host_(host),
      connection_(std::move(connection)),
      node_(std::make_unique<Node>(this)),
      watcher_(new QDBusServiceWatcher(this)) {
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) { ReleaseOwner(name); });
}

AutomationServer::~AutomationServer() {
    if (registered_) {
        connection_.unregisterService(QLatin1String(bus::kServiceName));
        connection_.unregisterObject(QLatin1String(bus::kFactoryPath), QDBusConnection::UnregisterTree);
    }
    objects_.clear();
}

bool AutomationServer::Start(QString* error) {
    auto fail = [&](const QString& text) {
        if (error) *error = text;
        return false;
    };
    if (!connection_.isConnected()) return fail(QStringLiteral("no D-Bus session bus: ") + connection_.lastError().message());
    if (!connection_.registerVirtualObject(QLatin1String(bus::kFactoryPath), node_.get(),
                                           QDBusConnection::SubPath))
        return fail(QStringLiteral("cannot export ") + QLatin1String(bus::kFactoryPath));
    registered_ = true;
    if (!connection_.registerService(QLatin1String(bus::kServiceName))) {
        nameTaken_ = true;
        return fail(QStringLiteral("the bus name %1 is taken: another spooler runs (%2)")
                        .arg(QLatin1String(bus::kServiceName), connection_.lastError().message()));
    }
    return true;
}

std::size_t AutomationServer::ClientCount() const {
    std::size_t n = 0;
    for (const auto& [path, object] : objects_)
        if (object->auto1) ++n;
    return n;
}

void AutomationServer::SendPrepareMessage() {
    const PreparedWindow& target = prepared_;
    if (target.handle <= 0 || target.owner.empty()) return;
    QDBusMessage signal = QDBusMessage::createTargetedSignal(QString::fromStdString(target.owner),
                                                             QLatin1String(bus::kFactoryPath),
                                                             QLatin1String(bus::kFactoryInterface),
                                                             QStringLiteral("WindowMessage"));
    signal << target.handle << static_cast<uint>(bus::kPrepareMessage) << target.id << 0;
    connection_.send(signal);
    // A round trip to the bus: the signal has left when it returns.
    connection_.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("/org/freedesktop/DBus"),
                                                    QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

QString AutomationServer::CreateObject(bool current, const QString& owner) {
    auto object = std::make_unique<Object>();
    object->owner = owner;
    object->path = QLatin1String(current ? bus::kSpoolAuto1PathPrefix : bus::kSpoolAutoPathPrefix) +
                   QString::number(nextId_++);
    const bool watched = watcher_->watchedServices().contains(owner);
    if (current)
        object->auto1 = std::make_unique<TSpoolAuto1>(host_);
    else
        object->auto0 = std::make_unique<TSpoolAuto>(host_, owner.toStdString(), &prepared_);
    const QString path = object->path;
    objects_.emplace(path, std::move(object));
    if (!watched) {
        watcher_->addWatchedService(owner);
        // The watch is in place once the bus has answered this: a client that left
        // before it is released now.
        if (!connection_.interface()->isServiceRegistered(owner).value()) {
            ReleaseOwner(owner);
            return QString();
        }
    }
    return path;
}

void AutomationServer::Release(const QString& path) {
    auto it = objects_.find(path);
    if (it == objects_.end()) return;
    // Out of the table first: the main window may close when its last client goes.
    std::unique_ptr<Object> object = std::move(it->second);
    objects_.erase(it);
    object.reset();
}

void AutomationServer::ReleaseOwner(const QString& owner) {
    watcher_->removeWatchedService(owner);
    std::vector<QString> paths;
    for (const auto& [path, object] : objects_)
        if (object->owner == owner) paths.push_back(path);
    // Gone from the bus with its objects and its receipt open: nobody else's sale may
    // join that receipt. (One that released its objects first has handed it on.)
    if (!paths.empty() && host_) host_->Receipt().OwnerLeft(owner.toStdString());
    for (const QString& path : paths) Release(path);
}

QString AutomationServer::Introspect(const QString& path) const {
    if (path == QLatin1String(bus::kFactoryPath)) return FactoryXml();
    QString xml;
    for (const auto& [objectPath, object] : objects_) {
        if (objectPath == path) {
            if (object->auto1)
                return InterfaceXml(bus::kSpoolAuto1Interface, bus::kSpoolAuto1Members) + EventsXml();
            return InterfaceXml(bus::kSpoolAutoInterface, bus::kSpoolAutoMembers);
        }
        const int slash = objectPath.lastIndexOf(QLatin1Char('/'));
        if (objectPath.left(slash) == path) xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(objectPath.mid(slash + 1));
    }
    return xml;
}

bool AutomationServer::HandleMessage(const QDBusMessage& message) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString interface = message.interface();
    if (interface == kIntrospectable || interface == kPeer) return false;
    const QString path = message.path();
    if (path == QLatin1String(bus::kFactoryPath)) {
        if (interface == kProperties)
            HandleProperties(message, {QLatin1String(bus::kFactoryInterface)}, {});
        else
            HandleFactory(message);
        return true;
    }
    auto it = objects_.find(path);
    if (it == objects_.end()) {
        // The folders of the objects have no interfaces of their own.
        if (interface == kProperties && (path + QLatin1Char('/') == QLatin1String(bus::kSpoolAutoPathPrefix) ||
                                         path + QLatin1Char('/') == QLatin1String(bus::kSpoolAuto1PathPrefix)))
            HandleProperties(message, {}, {});
        else
            connection_.send(message.createErrorReply(
                QDBusError::UnknownObject, QStringLiteral("no automation object %1 (released or never made)").arg(path)));
        return true;
    }
    Object& object = *it->second;
    if (interface == kProperties) {
        // Anyone may ask: there is nothing to read.
        if (object.auto1)
            HandleProperties(message,
                              {QLatin1String(bus::kSpoolAuto1Interface), QLatin1String(bus::kConnectionPointInterface),
                               QLatin1String(bus::kEventsInterface)},
                              bus::kSpoolAuto1Members);
        else
            HandleProperties(message, {QLatin1String(bus::kSpoolAutoInterface)}, bus::kSpoolAutoMembers);
        return true;
    }
    if (message.service() != object.owner) {
        connection_.send(message.createErrorReply(QDBusError::AccessDenied,
                                                  QStringLiteral("%1 belongs to another client").arg(path)));
        return true;
    }
    HandleObject(object, message);
    return true;
}

// org.freedesktop.DBus.Properties, as the introspection lists it: the interfaces of an
// object have no D-Bus properties (a property of the automation objects is a method of
// its own name), so GetAll answers an empty set and Get and Set say where to look.
void AutomationServer::HandleProperties(const QDBusMessage& message, const QStringList& interfaces,
                                        std::span<const bus::Member> members) {
    const QString member = message.member();
    const QString sig = message.signature();
    const QList<QVariant> args = message.arguments();
    const bool getAll = member == QLatin1String("GetAll") && sig == QLatin1String("s");
    const bool get = member == QLatin1String("Get") && sig == QLatin1String("ss");
    const bool set = member == QLatin1String("Set") && sig == QLatin1String("ssv");
    if (!getAll && !get && !set) {
        const bool known = member == QLatin1String("GetAll") || member == QLatin1String("Get") || member == QLatin1String("Set");
        connection_.send(known ? message.createErrorReply(QDBusError::InvalidArgs,
                                                          QStringLiteral("%1: wrong arguments (%2)").arg(member, sig))
                               : message.createErrorReply(QDBusError::UnknownMethod, member));
        return;
    }
    const QString interface = args.value(0).toString();
    const bool standard = interface == kIntrospectable || interface == kPeer || interface == kProperties;
    if (!interface.isEmpty() && !standard && !interfaces.contains(interface)) {
        connection_.send(message.createErrorReply(
            QDBusError::UnknownInterface, QStringLiteral("%1 has no interface %2").arg(message.path(), interface)));
        return;
    }
    if (getAll) {
        connection_.send(message.createReply(QVariant::fromValue(QVariantMap())));
        return;
    }
    const QString name = args.value(1).toString();
    const bool isMember = bus::FindMember(members, name.toStdString()) != nullptr;
    connection_.send(message.createErrorReply(
        QDBusError::UnknownProperty,
        isMember ? QStringLiteral("%1 is a method here, not a D-Bus property: call %1()").arg(name)
                 : QStringLiteral("%1 has no properties (no %2)").arg(message.path(), name)));
}

void AutomationServer::HandleFactory(const QDBusMessage& message) {
    const QString interface = message.interface();
    const QString member = message.member();
    if (!interface.isEmpty() && interface != QLatin1String(bus::kFactoryInterface)) {
        connection_.send(message.createErrorReply(QDBusError::UnknownInterface, interface));
        return;
    }
    const QString sig = message.signature();
    if ((member == QLatin1String("CreateSpoolAuto") || member == QLatin1String("CreateSpoolAuto1")) && sig.isEmpty()) {
        const QString path = CreateObject(member.endsWith(QLatin1Char('1')), message.service());
        if (path.isEmpty())
            connection_.send(message.createErrorReply(QDBusError::Disconnected, QStringLiteral("the caller left the bus")));
        else
            connection_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
    } else if (member == QLatin1String("Release") && sig == QLatin1String("o")) {
        const QString path = message.arguments().value(0).value<QDBusObjectPath>().path();
        auto it = objects_.find(path);
        if (it == objects_.end())
            connection_.send(message.createErrorReply(QDBusError::UnknownObject, QStringLiteral("no automation object %1").arg(path)));
        else if (it->second->owner != message.service())
            connection_.send(message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("%1 belongs to another client").arg(path)));
        else {
            Release(path);
            connection_.send(message.createReply());
        }
    } else if (member == QLatin1String("CreateSpoolAuto") || member == QLatin1String("CreateSpoolAuto1") ||
               member == QLatin1String("Release")) {
        connection_.send(message.createErrorReply(QDBusError::InvalidArgs,
                                                  QStringLiteral("%1: wrong arguments (%2)").arg(member, sig)));
    } else {
        connection_.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    }
}

void AutomationServer::HandleObject(Object& object, const QDBusMessage& message) {
    const QString interface = message.interface();
    const QString member = message.member();
    const bool current = object.auto1 != nullptr;
    const QString own = QLatin1String(current ? bus::kSpoolAuto1Interface : bus::kSpoolAutoInterface);

    if (current && (interface.isEmpty() || interface == QLatin1String(bus::kConnectionPointInterface)) &&
        (member == QLatin1String("Advise") || member == QLatin1String("Unadvise"))) {
        if (member == QLatin1String("Advise") && message.signature().isEmpty()) {
            QDBusConnection connection = connection_;
            const QString owner = object.owner, path = object.path;
            const std::uint32_t cookie = object.auto1->Advise([connection, owner, path](std::int32_t id, std::int32_t result) {
                QDBusMessage signal = QDBusMessage::createTargetedSignal(owner, path, QLatin1String(bus::kEventsInterface),
                                                                         QStringLiteral("OnCommandResult"));
                signal << id << result;
                QDBusConnection(connection).send(signal);
            });
            connection_.send(message.createReply(QVariant::fromValue<uint>(cookie)));
        } else if (member == QLatin1String("Unadvise") && message.signature() == QLatin1String("u")) {
            if (object.auto1->Unadvise(message.arguments().value(0).toUInt()))
                connection_.send(message.createReply());
            else
                connection_.send(HResultError(message, CONNECT_E_NOCONNECTION, HResultText(CONNECT_E_NOCONNECTION)));
        } else {
            connection_.send(message.createErrorReply(QDBusError::InvalidArgs,
                                                      QStringLiteral("%1: wrong arguments (%2)").arg(member, message.signature())));
        }
        return;
    }
    if (!interface.isEmpty() && interface != own) {
        connection_.send(message.createErrorReply(QDBusError::UnknownInterface,
                                                  QStringLiteral("%1 has no interface %2").arg(object.path, interface)));
        return;
    }
    const BoundCall call = current ? Bound(object.auto1.get(), member.toStdString())
                                   : Bound(object.auto0.get(), member.toStdString());
    if (!call.row) {
        connection_.send(message.createErrorReply(QDBusError::UnknownMethod,
                                                  QStringLiteral("%1 has no member %2").arg(own, member)));
        return;
    }
    const bus::Member& m = *call.row;
    const QString expected = QString::fromStdString(bus::Signature(m.in));
    if (message.signature() != expected) {
        connection_.send(message.createErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("%1 takes (%2), not (%3)").arg(member, expected, message.signature())));
        return;
    }
    try {
        if (host_) CheckTextBounds(m, message.arguments(), host_->Constraints());
        if (host_ && host_->Receipt().Abandoned() && (m.flags & bus::kJoinsReceipt))
            throw EOleError(kUnfinishedCheckText, E_FAIL);
        // A receipt that the member opens is the caller's; the spooler's own work
        // afterwards is nobody's.
        struct Caller {
            AutomationHost* host;
            Caller(AutomationHost* h, const QString& owner) : host(h) {
                if (host) host->Receipt().SetCaller(owner.toStdString());
            }
            ~Caller() {
                if (host) host->Receipt().SetCaller({});
            }
        } caller(host_, object.owner);
        // A modal member answers when its dialog has closed; the others at once.
        if (m.flags & bus::kModal) message.setDelayedReply(true);
        QDBusConnection connection = connection_;
        const QDBusMessage reply = message.createReply();
        call.run(message.arguments(), [connection, reply](const QList<QVariant>& out) {
            QDBusMessage answer = reply;
            answer.setArguments(out);
            QDBusConnection(connection).send(answer);
        });
    } catch (const EOleError& e) {
        connection_.send(HResultError(message, e.ErrorCode(), e.what()));
    } catch (const std::exception& e) {
        connection_.send(HResultError(message, E_FAIL, e.what()));
    }
}

}  // namespace tolver::spooler
