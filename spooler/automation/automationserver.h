#pragma once
// The automation server on the D-Bus session bus: the well-known name, the factory
// object and one D-Bus object per SpoolAuto or SpoolAuto1 made for a caller
// (automationbus.h has the names and the member table). Each object belongs to the
// client that created it: only that client may call or release it, and it is released
// the moment that client leaves the bus. Members that show a modal dialog answer when
// it closes; the event loop keeps serving the others meanwhile. A client that leaves
// the bus with the receipt it opened still open leaves it unfinished: sales and texts
// are refused with "Имеется незавершенный чек" until it is closed.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <span>

#include "spooler/automation/automationbus.h"
#include "spooler/automation/spoolauto.h"

class QDBusMessage;
class QDBusServiceWatcher;

namespace tolver::spooler {

class AutomationHost;
class TSpoolAuto;
class TSpoolAuto1;

class AutomationServer : public QObject {
    Q_OBJECT
public:
    // host is the spooler (CoreHost), nullptr when there is none.
    explicit AutomationServer(AutomationHost* host, QDBusConnection connection = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);
    ~AutomationServer() override;

    // Exports the objects and claims the bus name; false with the reason when there is
    // no bus or another spooler holds the name.
    bool Start(QString* error = nullptr);
    // Start failed because another spooler holds the bus name.
    bool NameTaken() const { return nameTaken_; }

    // Tells the client whose window Prepare named that the spooler closes (the window
    // message 1029 with Prepare's aID), when that handle is above 0. Waits until the
    // message has left.
    void SendPrepareMessage();

    std::size_t ObjectCount() const { return objects_.size(); }
    std::size_t ClientCount() const;  // SpoolAuto1 objects

private:
    class Node;
    struct Object;

    bool HandleMessage(const QDBusMessage& message);
    QString Introspect(const QString& path) const;
    void HandleFactory(const QDBusMessage& message);
    void HandleProperties(const QDBusMessage& message, const QStringList& interfaces,
                          std::span<const bus::Member> members);
    void HandleObject(Object& object, const QDBusMessage& message);
    QString CreateObject(bool current, const QString& owner);
    void Release(const QString& path);
    void ReleaseOwner(const QString& owner);

    AutomationHost* host_;
    QDBusConnection connection_;
    std::unique_ptr<Node> node_;
    QDBusServiceWatcher* watcher_;
    std::map<QString, std::unique_ptr<Object>> objects_;
    std::uint64_t nextId_ = 1;
    bool registered_ = false;
    bool nameTaken_ = false;
    PreparedWindow prepared_;  // the window that a SpoolAuto object's Prepare named
};

}  // namespace tolver::spooler
