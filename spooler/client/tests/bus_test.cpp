// The automation server over a private session bus: its members as generic D-Bus tools see
// them, argument mapping and refusals, events to two clients, clients that leave or
// are killed, the modal sign-on, Prepare, spoolctl, and the spooler started by the bus from
// the file that its registration switch writes.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "platform/registry/temp_registry.h"
#include "spooler/automation/automationbus.h"
#include "spooler/automation/automationserver.h"
#include "spooler/automation/serverswitches.h"
#include "spooler/automation/tests/fakehost.h"
#include "spooler/client/tests/bus_helpers.h"
#include "spooler/client/spoolclient.h"

namespace tolver::spooler {
namespace {

using client::SpoolAuto;
using client::SpoolAuto1;
using client::SpoolError;
using testing::CtlRun;
using testing::FakeHost;
using testing::Spoolctl;
using testing::WaitFor;


// A client of its own on the session bus.
QDBusConnection NewConnection() {
    static int n = 0;
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client%1").arg(++n));
}

// A raw call, answered while the server in this process serves.
QDBusMessage RawCall(QDBusConnection c, const QString& path, const QString& interface, const QString& member,
                     const QList<QVariant>& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(QLatin1String(bus::kServiceName), path, interface, member);
    m.setArguments(args);
    return client::CallServingEvents(c, m);
}

QVariant Cy(const char* text) { return QVariant::fromValue<qlonglong>(Currency::Parse(text).raw()); }

class BusTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<AutomationServer>(&host);
        QString error;
        ASSERT_TRUE(server->Start(&error)) << error.toStdString();
    }
    void TearDown() override {
        server.reset();
        QCoreApplication::processEvents();
    }
    FakeHost host;
    std::unique_ptr<AutomationServer> server;
};

std::vector<std::string> IntrospectedMembers(const QString& xml, const QString& interface) {
    std::vector<std::string> out;
    QXmlStreamReader r(xml);
    bool inInterface = false;
    std::string current;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("interface"))
            inInterface = r.attributes().value("name") == interface;
        if (!inInterface) continue;
        if (r.isStartElement() && r.name() == QLatin1String("method")) current = r.attributes().value("name").toString().toStdString();
        else if (r.isStartElement() && r.name() == QLatin1String("annotation"))
            current += " " + r.attributes().value("value").toString().toStdString();
        else if (r.isStartElement() && r.name() == QLatin1String("arg"))
            current += std::string(r.attributes().value("direction") == QLatin1String("out") ? " >" : " ") +
                       r.attributes().value("type").toString().toStdString() + ":" +
                       r.attributes().value("name").toString().toStdString();
        else if (r.isEndElement() && r.name() == QLatin1String("method"))
            out.push_back(current);
    }
    return out;
}

TEST_F(BusTest, IntrospectionShowsEveryMemberInDeclarationOrderWithItsDispid) {
    auto c = NewConnection();
    SpoolAuto legacy(c);
    SpoolAuto1 current(c);
    const auto xml = [&](const QString& path) {
        return RawCall(c, path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
            .arguments()
            .value(0)
            .toString();
    };
    const std::vector<std::string> spoolAuto = {
        "CloseCheck 4 x:Avans", "AddPayDep 8 x:SumWithoutNDS x:NDS x:Sum i:NDep",
        "AddPayArt 9 x:SumWithoutNDS x:NDS x:Sum i:NArt", "Ident 1 s:Value", "DriverInfo 3 >s:Value",
        "IdentOnce 2 s:Value", "AddCash 5 x:Sum b:Print", "ReturnCash 6 x:Sum b:Print", "GetReports 7", "Reg 10",
        "ViewPayArch 12", "BlockKeyb 11", "UnBlockKeyb 13", "Prepare 14 i:pHandle i:aID", "ID 16 >s:Value",
        "AddPayDepName 17 s:Name x:SumWithoutNDS x:Sum i:NDep", "CanExit 15 s:Info >s:Info >b:Value"};
    const std::vector<std::string> spoolAuto1 = {
        "AddPayDep 7 s:Name d:Count x:SumWithoutNDS x:Sum i:NDep >i:Value",
        "AddPayArt 11 d:Count x:SumWithoutNDS x:Sum i:NArt >i:Value", "AddCash 14 x:Sum i:PayType s:Info >i:Value",
        "CloseCheck 15 x:Sum i:PayType >i:Value", "RegOp 16 i:NOp s:NameOp s:Password >i:Value", "UnRegOp 17 >i:Value",
        "InInteraction 18 >b:Value", "ID 19 >s:Value", "AddInfo 20 s:Text >i:Value",
        "CanExit 22 s:Info >s:Info >b:Value", "GetReportsDialog 23", "GetRegDialog 24 >i:Value",
        "ReturnCash 1 x:Sum i:PayType s:Info >i:Value", "ControlEnabled 3 b:Value",
        "DelPayDep 2 x:SumWithoutNDS x:Sum i:NDep >i:Value", "DelPayArt 4 x:SumWithoutNDS x:Sum i:NArt >i:Value",
        "XReportItems 5 >s:Value", "ZReportItems 6 >s:Value", "GetXReport 8 s:Items >i:Value",
        "GetZReport 9 s:Items >i:Value", "TrashID 12 >s:Value", "ArtItems 13 >s:Value",
        "GetArtParams 21 i:N s:Description i:NDep i:NTax x:Price >s:Description >i:NDep >i:NTax >x:Price >i:Value",
        "TaxItems 25 >s:Value",
        "GetTaxParams 26 i:N s:Description x:TaxValue x:TaxValueAdv >s:Description >x:TaxValue >x:TaxValueAdv >i:Value",
        "OpenCheck 10 s:Info >i:Value", "DepItems 27 >s:Value",
        "GetDepParams 29 i:N s:Description i:NTax >s:Description >i:NTax >i:Value",
        "SetArt 30 i:NArt i:NDep i:NTax x:Price s:Description b:Return >i:Value", "BeginMsg 31 >s:Value"};
    EXPECT_EQ(IntrospectedMembers(xml(legacy.path()), QLatin1String(bus::kSpoolAutoInterface)), spoolAuto);
    EXPECT_EQ(IntrospectedMembers(xml(current.path()), QLatin1String(bus::kSpoolAuto1Interface)), spoolAuto1);
    EXPECT_TRUE(xml(current.path()).contains(QLatin1String("<signal name=\"OnCommandResult\">")));
    // The tree leads a generic tool from the factory to the objects.
    EXPECT_TRUE(xml(QLatin1String(bus::kFactoryPath)).contains(QLatin1String("<node name=\"SpoolAuto1\"/>")));
    EXPECT_TRUE(xml(QStringLiteral("/org/tolver/Spooler/SpoolAuto1"))
                    .contains(QStringLiteral("<node name=\"%1\"/>").arg(current.path().section('/', -1))));
}

// Whatever interface the introspection lists, the object answers: the standard ones
// too. The automation interfaces have no D-Bus properties (their properties are
// methods), and Properties says so.
TEST_F(BusTest, EveryListedInterfaceAnswersAndPropertiesPointToTheMethods) {
    auto c = NewConnection();
    SpoolAuto legacy(c);
    SpoolAuto1 current(c);
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
    for (const QString& path : QStringList{QLatin1String(bus::kFactoryPath), legacy.path(), current.path(),
                                QStringLiteral("/org/tolver/Spooler/SpoolAuto1")}) {
        SCOPED_TRACE(path.toStdString());
        const QString xml =
            RawCall(c, path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
                .arguments()
                .value(0)
                .toString();
        QStringList interfaces;
        for (QXmlStreamReader r(xml); !r.atEnd();)
            if (r.readNext() == QXmlStreamReader::StartElement && r.name() == QLatin1String("interface"))
                interfaces << r.attributes().value("name").toString();
        EXPECT_TRUE(interfaces.contains(props));
        for (const QString& interface : interfaces) {
            SCOPED_TRACE(interface.toStdString());
            const QDBusMessage reply = interface == props
                                           ? RawCall(c, path, props, "GetAll", {QString()})
                                           : RawCall(c, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                                     "Introspect");
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
            const QDBusMessage all = RawCall(c, path, props, "GetAll", {interface});
            ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
            EXPECT_EQ(all.signature(), QStringLiteral("a{sv}"));
        }
    }
    const QString i1 = QLatin1String(bus::kSpoolAuto1Interface);
    struct Case {
        QString member;
        QList<QVariant> args;
        QString error;
    };
    const Case cases[] = {
        {"Get", {i1, QStringLiteral("ID")}, "org.freedesktop.DBus.Error.UnknownProperty"},
        {"Set", {i1, QStringLiteral("ControlEnabled"), QVariant::fromValue(QDBusVariant(true))},
         "org.freedesktop.DBus.Error.UnknownProperty"},
        {"GetAll", {QStringLiteral("org.example.None")}, "org.freedesktop.DBus.Error.UnknownInterface"},
        {"GetAll", {1}, "org.freedesktop.DBus.Error.InvalidArgs"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.member.toStdString());
        const QDBusMessage reply = RawCall(c, current.path(), props, k.member, k.args);
        EXPECT_EQ(reply.errorName(), k.error) << reply.errorMessage().toStdString();
    }
    EXPECT_TRUE(RawCall(c, current.path(), props, "Get", {i1, QStringLiteral("ID")})
                    .errorMessage()
                    .contains(QLatin1String("call ID()")));
    EXPECT_TRUE(host.calls.empty());
}

// Every member answers through the bus with the out arguments of its row.
TEST_F(BusTest, EveryMemberAnswersWithItsOutArguments) {
    auto c = NewConnection();
    SpoolAuto legacy(c);
    SpoolAuto1 current(c);
    const auto run = [&](SpoolAuto* a, SpoolAuto1* a1, std::span<const bus::Member> table) {
        for (const bus::Member& m : table) {
            SCOPED_TRACE(std::string(m.name));
            QList<QVariant> args;
            for (char t : bus::Signature(m.in)) {
                if (t == 'x') args << QVariant::fromValue<qlonglong>(10000);
                else if (t == 'i') args << 1;
                else if (t == 'd') args << 1.0;
                else if (t == 'b') args << true;
                else args << QStringLiteral("text");
            }
            const QString member = QString::fromUtf8(m.name.data(), m.name.size());
            // A modal member answers once its dialog closes: it closes as soon as it is open.
            QTimer closer;
            QObject::connect(&closer, &QTimer::timeout, [&] {
                if (host.regDialogDone) host.CloseRegDialog(3);
            });
            if (m.flags & bus::kModal) closer.start(10);
            const QDBusMessage reply = a ? RawCall(c, a->path(), {}, member, args) : RawCall(c, a1->path(), {}, member, args);
            ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
            EXPECT_EQ(reply.signature().toStdString(), bus::Signature(m.out));
        }
    };
    run(&legacy, nullptr, bus::kSpoolAutoMembers);
    run(nullptr, &current, bus::kSpoolAuto1Members);
    EXPECT_TRUE(host.calls.size() > 20u);
}

// A value of each argument type, for the client and as spoolctl takes it.
template <char Type>
auto Sample() {
    if constexpr (Type == 'x') return Currency::Parse("1.5");
    else if constexpr (Type == 'i') return std::int32_t{1};
    else if constexpr (Type == 'd') return 2.0;
    else if constexpr (Type == 's') return std::string("text");
    else return true;
}
QString SampleText(char type) {
    switch (type) {
        case 'x': return QStringLiteral("1.5");
        case 'i': return QStringLiteral("1");
        case 'd': return QStringLiteral("2");
        case 's': return QStringLiteral("text");
        default: return QStringLiteral("true");
    }
}

// The name of row I of Table as a template argument of Call.
template <const auto& Table, std::size_t I, class = std::make_index_sequence<Table[I].name.size()>>
struct RowName;
template <const auto& Table, std::size_t I, std::size_t... K>
struct RowName<Table, I, std::index_sequence<K...>> {
    static constexpr char text[] = {Table[I].name[K]..., 0};
};

// Row I through the client library, with a sample of each argument.
template <const auto& Table, std::size_t I, class Object, std::size_t... K>
void CallRow(Object& object, std::index_sequence<K...>) {
    auto args = std::tuple{Sample<bus::ArgAt(Table[I].in, K).type>()...};
    std::apply([&](auto&... a) { object.template Call<RowName<Table, I>::text>(a...); }, args);
}

// spoolctl's commands as its help lists them, in table order: each command's name and
// its options, in the order of the member's arguments.
std::vector<QStringList> SpoolctlCommands(const QString& help, const QString& section) {
    std::vector<QStringList> out;
    bool in = false;
    for (const QString& line : help.split('\n')) {
        if (!line.startsWith(' ')) {
            in = line.startsWith(section);
            continue;
        }
        if (!in) continue;
        QStringList command{line.trimmed().section(' ', 0, 0)};
        for (const QString& word : line.split(' ', Qt::SkipEmptyParts))
            if (word.startsWith(QLatin1String("--"))) command << word;
        out.push_back(command);
    }
    return out;
}

// Every row, called once through the client library and once through spoolctl (by
// the command and options its help shows) with the same values, makes the same calls
// on the main window and leaves the receipt alike.
TEST_F(BusTest, EveryRowIsCalledAlikeByTheClientLibraryAndSpoolctl) {
    auto c = NewConnection();
    SpoolAuto legacy(c);
    SpoolAuto1 current(c);
    const QString help = Spoolctl({"help"}).out;
    // The sign-on dialog closes as soon as it is open.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (host.regDialogDone) host.CloseRegDialog(3);
    });
    closer.start(10);
    const auto each = [&]<const auto& Table, class Object>(Object& object, const QString& section, bool legacyObject) {
        const std::vector<QStringList> commands = SpoolctlCommands(help, section);
        ASSERT_EQ(commands.size(), std::size(Table)) << help.toStdString();
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            const auto one = [&]<std::size_t Row>(std::integral_constant<std::size_t, Row>) {
                const bus::Member& m = Table[Row];
                SCOPED_TRACE(std::string(m.name));
                const auto reset = [&] {
                    host.calls.clear();
                    host.nextResult = 7;
                    host.checkOpen = true;
                };
                reset();
                try {
                    CallRow<Table, Row>(object, std::make_index_sequence<bus::ArgCount(Table[Row].in)>{});
                } catch (const SpoolError& e) {
                    ADD_FAILURE() << e.what();
                }
                const std::vector<std::string> byClient = host.calls;
                const bool openByClient = host.checkOpen;

                reset();
                const QStringList& command = commands[Row];
                ASSERT_EQ(static_cast<std::size_t>(command.size()), bus::ArgCount(m.in) + 1) << command.join(' ').toStdString();
                QStringList args;
                if (legacyObject) args << QStringLiteral("--spoolauto");
                args << command[0];
                for (std::size_t k = 0; k < bus::ArgCount(m.in); ++k)
                    args << command[static_cast<int>(k) + 1] << SampleText(bus::ArgAt(m.in, k).type);
                const CtlRun r = Spoolctl(args);
                // An item that the host does not have answers -1, a refusal.
                const int code = r.out.endsWith(QLatin1String("Value=-1\n")) ? 1 : 0;
                EXPECT_EQ(r.code, code) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
                EXPECT_EQ(host.calls, byClient);
                EXPECT_EQ(host.checkOpen, openByClient);
            };
            (one(std::integral_constant<std::size_t, I>{}), ...);
        }(std::make_index_sequence<std::size(Table)>{});
    };
    each.template operator()<bus::kSpoolAutoMembers>(legacy, QStringLiteral("SpoolAuto commands"), true);
    each.template operator()<bus::kSpoolAuto1Members>(current, QStringLiteral("SpoolAuto1 commands"), false);
}

TEST_F(BusTest, ArgumentsReachTheDriverExactlyAndInOutParametersComeBack) {
    auto c = NewConnection();
    SpoolAuto1 client(c);
    host.nextResult = 41;
    EXPECT_EQ(client.Call<"AddPayArt">(2.5, Currency::Parse("5.0001"), Currency::Parse("6"), 5), 41);
    EXPECT_EQ(client.Call<"AddPayDep">("Хлеб «ржаной»", 1, Currency::Parse("-1.5"), Currency::Parse("-1.5"), 2), 42);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"AddPayArt(2.5,5.0001,6,5)", "AddPayDep(Хлеб «ржаной»,1,-1.5,-1.5,2)"}));
    EXPECT_TRUE(host.checkOpen);

    auto* art = static_cast<TCashArtProperties*>(host.setup.ArtList.CreateItem(5));
    art->Description = "Молоко";
    art->NDep = 2;
    art->Price = Currency::Parse("12.34");
    std::string description = "in";
    std::int32_t nDep = 0, nTax = 9;
    Currency price;
    EXPECT_EQ(client.Call<"GetArtParams">(5, description, nDep, nTax, price), 0);
    EXPECT_EQ(description, "Молоко");
    EXPECT_EQ(price, Currency::Parse("12.34"));
    EXPECT_EQ(nTax, 0);
    std::string info;
    EXPECT_FALSE(client.Call<"CanExit">(info));
    EXPECT_EQ(info, "Имеется незавершенный чек");
}

TEST_F(BusTest, BadCallsGetErrorsAndChangeNothing) {
    auto c = NewConnection();
    auto other = NewConnection();
    SpoolAuto1 client(c);
    SpoolAuto1 mine(other);
    const QString path = client.path();
    const QString i1 = QLatin1String(bus::kSpoolAuto1Interface);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        QDBusConnection conn;
        QString path;
        QString member;
        QList<QVariant> args;
        QString error;
    };
    const QString hresultInvalidArg = QLatin1String(bus::kErrorPrefix) + QStringLiteral("80070057");
    const Case cases[] = {
        {"wrong types", c, path, "AddPayArt", {1, 1, 1, 1}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"too few", c, path, "AddPayArt", {1.0, Cy("1")}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"too many", c, path, "UnRegOp", {1}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"NaN count", c, path, "AddPayArt", {nan, Cy("1"), Cy("1"), 1}, hresultInvalidArg},
        {"infinite count", c, path, "AddPayDep", {QString(), HUGE_VAL, Cy("1"), Cy("1"), 1}, hresultInvalidArg},
        {"pay type", c, path, "CloseCheck", {Cy("1"), 7}, hresultInvalidArg},
        {"unknown member", c, path, "Explode", {}, "org.freedesktop.DBus.Error.UnknownMethod"},
        {"unknown path", c, path + "9", "UnRegOp", {}, "org.freedesktop.DBus.Error.UnknownObject"},
        {"another client's object", other, path, "AddPayArt", {1.0, Cy("1"), Cy("1"), 1},
         "org.freedesktop.DBus.Error.AccessDenied"},
        {"release of another's", other, QLatin1String(bus::kFactoryPath), "Release",
         {QVariant::fromValue(QDBusObjectPath(path))}, "org.freedesktop.DBus.Error.AccessDenied"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const QString interface = k.path == QLatin1String(bus::kFactoryPath) ? QLatin1String(bus::kFactoryInterface) : i1;
        const QDBusMessage reply = RawCall(k.conn, k.path, interface, k.member, k.args);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), k.error) << reply.errorMessage().toStdString();
    }
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.clients.size(), 2u);

    // A text of any characters, up to its bound, goes through unharmed.
    const std::string big = std::string(1000, 'x') + "\x01\t\r\n Ж € 😀";
    EXPECT_EQ(client.Call<"AddInfo">(big), 1);
    EXPECT_EQ(host.calls.back(), "AddInfo(" + big + ")");

    // A failing member: the HRESULT in the error's name, its text in the message.
    host.controlEnabledFails = true;
    try {
        client.Call<"ControlEnabled">(true);
        ADD_FAILURE() << "no error";
    } catch (const SpoolError& e) {
        EXPECT_EQ(e.hresult(), 0x80004005u);
        EXPECT_EQ(e.message(), QStringLiteral("HRESULT 0x80004005: menu gone"));
    }

    // After release the object is gone for good.
    client.release();
    EXPECT_EQ(RawCall(c, path, i1, "UnRegOp").errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    EXPECT_EQ(host.clients.size(), 1u);
}

// A text is refused beyond what the register can use: a printed one beyond 50 lines of
// the register's line width, any other beyond 255 characters (characters, not bytes).
TEST_F(BusTest, TextsLongerThanTheRegisterUsesAreRefusedBeforeAnythingIsDone) {
    auto c = NewConnection();
    SpoolAuto1 client(c);
    SpoolAuto legacy(c);
    host.constraints.NameLength = 12;  // a printed text: at most 600 characters
    const QString ok600 = QString(599, QChar(u'Ж')) + QStringLiteral("😀");
    const QString long601 = ok600 + QStringLiteral("x");
    const QString ok255(255, QChar(u'1')), long256(256, QChar(u'1'));
    const QString mib(1 << 20, QChar(u'x'));
    struct Case {
        QString path, member;
        QList<QVariant> args;
        bool refused;
    };
    const QString p1 = client.path(), p0 = legacy.path();
    const Case cases[] = {
        {p1, "AddInfo", {ok600}, false},
        {p1, "AddInfo", {long601}, true},
        {p1, "AddInfo", {mib}, true},
        {p1, "AddPayDep", {mib, 1.0, Cy("1"), Cy("1"), 1}, true},
        {p1, "AddCash", {Cy("1"), 0, long601}, true},
        {p1, "OpenCheck", {long601}, true},
        {p1, "RegOp", {1, ok255, ok255}, false},
        {p1, "RegOp", {1, QString(), long256}, true},
        {p1, "GetXReport", {long256}, true},
        {p1, "CanExit", {long256}, true},
        {p1, "SetArt", {1, 1, 1, Cy("1"), long256, false}, true},
        {p0, "Ident", {mib}, true},
        {p0, "AddPayDepName", {long601, Cy("1"), Cy("1"), 1}, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.member.toStdString() + " " + std::to_string(k.args.size()));
        const std::size_t before = host.calls.size();
        const QDBusMessage reply = RawCall(c, k.path, {}, k.member, k.args);
        if (!k.refused) {
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
            continue;
        }
        EXPECT_EQ(reply.errorName(), QLatin1String(bus::kErrorPrefix) + QStringLiteral("80070057"));
        EXPECT_TRUE(reply.errorMessage().contains(QStringLiteral("текст длиннее"))) << reply.errorMessage().toStdString();
        EXPECT_EQ(host.calls.size(), before);
    }
    EXPECT_TRUE(RawCall(c, p1, {}, "AddInfo", {long601}).errorMessage().contains(QStringLiteral("(длина 601, допустимо 600: 50 строк по 12 символов)")));
    EXPECT_FALSE(host.checkOpen);
}

TEST_F(BusTest, TwoClientsReceiveEveryResultInOrder) {
    host.relayResults = true;
    std::vector<std::pair<int, int>> seenA, seenB, expected;
    auto c1 = NewConnection(), c2 = NewConnection();
    SpoolAuto1 a(c1), b(c2);
    a.Advise([&](std::int32_t id, std::int32_t r) { seenA.emplace_back(id, r); });
    b.Advise([&](std::int32_t id, std::int32_t r) { seenB.emplace_back(id, r); });
    for (int i = 0; i < 5; ++i) {
        expected.emplace_back(a.Call<"AddPayArt">(1, Currency::Parse("1"), Currency::Parse("1"), 1), 0);
        expected.emplace_back(b.Call<"AddInfo">("line"), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return seenA.size() >= expected.size() && seenB.size() >= expected.size(); }));
    host.Relay(99, -1);
    expected.emplace_back(99, -1);
    ASSERT_TRUE(WaitFor([&] { return seenA.size() >= expected.size() && seenB.size() >= expected.size(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(seenA, expected);
    EXPECT_EQ(seenB, expected);
}

TEST_F(BusTest, ClientThatLeavesIsReleasedAndTheLastSpoolAuto1ClosesTheSpooler) {
    auto keep = NewConnection();
    SpoolAuto1 survivor(keep);
    QString name;
    {
        // Objects the client never releases: its leaving the bus does it.
        auto c = NewConnection();
        name = c.name();
        for (const char* create : {"CreateSpoolAuto", "CreateSpoolAuto1"})
            RawCall(c, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface), QLatin1String(create));
        EXPECT_EQ(server->ObjectCount(), 3u);
    }
    QDBusConnection::disconnectFromBus(name);
    ASSERT_TRUE(WaitFor([&] { return server->ObjectCount() == 1; }));
    EXPECT_EQ(host.clients.size(), 1u);
    EXPECT_EQ(host.closeRequests, 0);

    // A SpoolAuto neither keeps the spooler alive nor closes it.
    auto c = NewConnection();
    auto legacy = std::make_unique<SpoolAuto>(c);
    survivor.release();
    EXPECT_EQ(host.closeRequests, 1);
    legacy.reset();
    EXPECT_EQ(host.closeRequests, 1);
}

TEST_F(BusTest, KilledClientIsReleasedAndTheOtherKeepsWorking) {
    host.relayResults = true;
    std::vector<int> seen;
    auto c = NewConnection();
    SpoolAuto1 survivor(c);
    survivor.Advise([&](std::int32_t id, std::int32_t) { seen.push_back(id); });
    QProcess monitor;
    monitor.start(QStringLiteral(SPOOLCTL), {QStringLiteral("monitor")});
    ASSERT_TRUE(WaitFor([&] { return host.clients.size() == 2; }, 10000));
    ::kill(static_cast<pid_t>(monitor.processId()), SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return host.clients.size() == 1; }, 10000));
    monitor.waitForFinished();
    EXPECT_EQ(host.closeRequests, 0);
    const int id = survivor.Call<"AddPayArt">(1, Currency::Parse("3"), Currency::Parse("3"), 2);
    EXPECT_GT(id, 0);
    EXPECT_TRUE(WaitFor([&] { return seen == std::vector<int>{id}; }));
}

// A client that leaves the bus with its receipt open: the next client's sales and
// texts are refused with the unfinished-receipt text, never added to that receipt, until
// a close; a client that releases its object first hands the receipt on (a
// point-of-sale program may make an object per operation).
TEST_F(BusTest, AReceiptLeftOpenByAClientThatLeftIsNeverJoined) {
    auto keep = NewConnection();
    SpoolAuto1 next(keep);
    const QString unfinished = QStringLiteral("Имеется незавершенный чек");
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "released first" : "left the bus");
        QString name;
        {
            auto c = NewConnection();
            name = c.name();
            // An object of its own that it sells on; it then releases it or just goes.
            const QString path = RawCall(c, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface),
                                         QStringLiteral("CreateSpoolAuto1"))
                                     .arguments()
                                     .value(0)
                                     .value<QDBusObjectPath>()
                                     .path();
            ASSERT_GT(RawCall(c, path, {}, "AddPayArt", {1.0, Cy("6"), Cy("6"), 5}).arguments().value(0).toInt(), 0);
            ASSERT_TRUE(host.checkOpen);
            if (released)
                RawCall(c, QLatin1String(bus::kFactoryPath), QLatin1String(bus::kFactoryInterface),
                        QStringLiteral("Release"), {QVariant::fromValue(QDBusObjectPath(path))});
        }
        QDBusConnection::disconnectFromBus(name);
        ASSERT_TRUE(WaitFor([&] { return server->ObjectCount() == 1; }));
        ASSERT_TRUE(host.checkOpen);
        const std::size_t before = host.calls.size();
        if (released) {
            EXPECT_GT(next.Call<"AddPayArt">(1, Currency::Parse("2"), Currency::Parse("2"), 3), 0);
            EXPECT_EQ(host.calls.size(), before + 1);
            EXPECT_GT(next.Call<"CloseCheck">(Currency::Parse("10"), 0), 0);
            continue;
        }
        const std::function<void()> joins[] = {
            [&] { next.Call<"AddPayArt">(1, Currency::Parse("2"), Currency::Parse("2"), 3); },
            [&] { next.Call<"AddPayDep">("Хлеб", 1, Currency::Parse("2"), Currency::Parse("2"), 1); },
            [&] { next.Call<"DelPayArt">(Currency::Parse("6"), Currency::Parse("6"), 5); },
            [&] { next.Call<"AddInfo">("строка"); },
        };
        for (const auto& join : joins) {
            try {
                join();
                ADD_FAILURE() << "joined the receipt";
            } catch (const SpoolError& e) {
                EXPECT_TRUE(e.message().contains(unfinished)) << e.what();
            }
        }
        EXPECT_EQ(host.calls.size(), before);
        std::string info;
        EXPECT_FALSE(next.Call<"CanExit">(info));
        EXPECT_EQ(info, unfinished.toStdString());
        // The cashier closes it (or signs off, which closes it first); then sales go on.
        EXPECT_GT(next.Call<"CloseCheck">(Currency::Parse("10"), 0), 0);
        EXPECT_FALSE(host.checkOpen);
        EXPECT_GT(next.Call<"AddPayArt">(1, Currency::Parse("2"), Currency::Parse("2"), 3), 0);
        EXPECT_TRUE(host.checkOpen);
        next.Call<"CloseCheck">(Currency(), 0);
    }
}

TEST_F(BusTest, ModalSignOnAnswersWhenTheDialogClosesWhileOthersAreServed) {
    host.relayResults = true;
    std::vector<int> seen;
    auto c1 = NewConnection(), c2 = NewConnection();
    SpoolAuto1 waiting(c1), other(c2);
    other.Advise([&](std::int32_t id, std::int32_t) { seen.push_back(id); });
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(bus::kServiceName), waiting.path(),
                                                       QLatin1String(bus::kSpoolAuto1Interface), "GetRegDialog");
    QDBusPendingCall pending = c1.asyncCall(call, std::numeric_limits<int>::max());
    ASSERT_TRUE(WaitFor([&] { return static_cast<bool>(host.regDialogDone); }));
    const int id = other.Call<"AddPayArt">(1, Currency::Parse("1"), Currency::Parse("1"), 1);
    ASSERT_TRUE(WaitFor([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0], id);
    EXPECT_FALSE(pending.isFinished());
    host.CloseRegDialog(17);
    ASSERT_TRUE(WaitFor([&] { return pending.isFinished(); }));
    EXPECT_EQ(pending.reply().arguments().value(0).toInt(), 17);
}

class WindowMessages : public QObject {
    Q_OBJECT
public:
    std::vector<std::vector<int>> seen;
public Q_SLOTS:
    void onMessage(int handle, uint msg, int wParam, int lParam) {
        seen.push_back({handle, static_cast<int>(msg), wParam, lParam});
    }
};

TEST_F(BusTest, OnlyTheLastPreparedWindowIsToldAtClose) {
    auto c1 = NewConnection(), c2 = NewConnection();
    WindowMessages w1, w2;
    for (auto [c, w] : {std::pair{&c1, &w1}, std::pair{&c2, &w2}})
        ASSERT_TRUE(c->connect(QLatin1String(bus::kServiceName), QLatin1String(bus::kFactoryPath),
                               QLatin1String(bus::kFactoryInterface), "WindowMessage", w,
                               SLOT(onMessage(int, uint, int, int))));
    SpoolAuto first(c1), second(c2);
    first.Call<"Prepare">(5, 42);
    second.Call<"Prepare">(7, 43);
    server->SendPrepareMessage();
    ASSERT_TRUE(WaitFor([&] { return !w2.seen.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(w2.seen, (std::vector<std::vector<int>>{{7, 1029, 43, 0}}));
    EXPECT_TRUE(w1.seen.empty());
    // A handle of 0 asks for nothing.
    second.Call<"Prepare">(0, 44);
    server->SendPrepareMessage();
    QCoreApplication::processEvents();
    EXPECT_EQ(w2.seen.size(), 1u);
}

TEST_F(BusTest, SpoolctlSellsWaitsForTheResultAndExitsWithClearCodes) {
    host.relayResults = true;
    auto keep = NewConnection();
    SpoolAuto1 holder(keep);  // the spooler's other client
    host.nextResult = 12;
    CtlRun r = Spoolctl({"sale-art", "--count", "1", "--sum", "6.00", "--art", "5", "--wait"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("12\nresult 12 0\n"));
    EXPECT_EQ(host.calls.back(), "AddPayArt(1,6,6,5)");

    // An article that is not there: -1, a refusal.
    r = Spoolctl({"get-art-params", "--n", "3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, QStringLiteral("Description=\nNDep=0\nNTax=0\nPrice=0\nValue=-1\n"));

    const std::pair<QStringList, int> codes[] = {
        {{"sale-art", "--sum", "6,00.1", "--art", "5"}, 2},
        {{"sale-art", "--sum", "6"}, 2},
        {{"sale-art", "--sum", "6", "--art", "5", "--colour", "red"}, 2},
        {{"sale-art", "--count", "nan", "--sum", "6", "--art", "5"}, 2},
        {{"sale-art", "--sum", "1e3", "--art", "5"}, 2},
        {{"sale-art", "--sum", "0x10", "--art", "5"}, 2},
        {{"sale-art", "--count", "1e3", "--sum", "6", "--art", "5"}, 2},
        {{"close", "--pay-type", "visa", "--sum", "0"}, 2},
        {{"close", "--pay-type", "3", "--sum", "0"}, 2},
        {{"fly"}, 2},
        // N names the item asked for: it is no in/out parameter and has no default.
        {{"get-art-params"}, 2},
        {{"get-tax-params"}, 2},
        {{"get-dep-params"}, 2},
        {{"close", "--pay-type", "credit", "--sum", "0"}, 0},
        {{"cancel-art", "--sum", "1", "--art", "1"}, 1},  // no open receipt: -1
    };
    for (const auto& [args, code] : codes) {
        r = Spoolctl(args);
        EXPECT_EQ(r.code, code) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
    }
    r = Spoolctl({"close", "--pay-type", "visa", "--sum", "0"});
    EXPECT_TRUE(r.err.contains(QLatin1String("--pay-type: cash, check, credit or 0 to 2, not visa"))) << r.err.toStdString();
    host.controlEnabledFails = true;
    r = Spoolctl({"control-enabled", "--value", "false"});
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(r.err.contains(QLatin1String("HRESULT 0x80004005: menu gone")));
}

// The CPU time (user and system) that a process has used so far, in ms.
long long CpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // After "pid (comm) ": state is field 3, utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
}

TEST_F(BusTest, SpoolctlWaitsForItsResultWithoutBurningCpu) {
    auto keep = NewConnection();
    SpoolAuto1 holder(keep);
    host.nextResult = 21;  // no result is relayed until the test sends it
    QProcess ctl, monitor;
    ctl.start(QStringLiteral(SPOOLCTL), {"sale-art", "--sum", "6.00", "--art", "5", "--wait", "--timeout", "600"});
    monitor.start(QStringLiteral(SPOOLCTL), {"monitor"});
    ASSERT_TRUE(WaitFor([&] { return ctl.canReadLine() && monitor.canReadLine(); }, 20000));
    EXPECT_EQ(ctl.readLine(), QByteArray("21\n"));
    EXPECT_TRUE(monitor.readLine().startsWith("monitoring "));
    // While they wait they sleep: over a window of some seconds their CPU time hardly
    // grows (a polling wait takes a whole core).
    const long long before = CpuMs(ctl.processId()), monitorBefore = CpuMs(monitor.processId());
    QElapsedTimer window;
    window.start();
    WaitFor([] { return false; }, 3000);
    const long long used = CpuMs(ctl.processId()) - before;
    const long long monitorUsed = CpuMs(monitor.processId()) - monitorBefore;
    ASSERT_GE(before, 0);
    ASSERT_GE(monitorBefore, 0);
    EXPECT_LT(used, window.elapsed() / 10) << used << " ms of CPU in " << window.elapsed() << " ms";
    EXPECT_LT(monitorUsed, window.elapsed() / 10) << monitorUsed << " ms of CPU in " << window.elapsed() << " ms";
    monitor.kill();
    monitor.waitForFinished();
    // The result ends the wait at once.
    host.Relay(20, 0);  // another command's
    host.Relay(21, -1);
    ASSERT_TRUE(WaitFor([&] { return ctl.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(ctl.exitCode(), 1);
    EXPECT_EQ(ctl.readAll(), QByteArray("result 21 -1\n"));
}

TEST_F(BusTest, SpoolctlWaitEndsWithoutAResultToWaitFor) {
    auto keep = NewConnection();
    SpoolAuto1 holder(keep);
    struct Case {
        QStringList args;
        std::int32_t answer;
        int code;
        const char* err;
    };
    const Case cases[] = {
        // 0: nothing was queued, no result will come.
        {{"add-info", "--text", "Спасибо", "--wait", "--timeout", "300"}, 0, 0, ""},
        {{"get-x-report", "--items", "0;", "--wait", "--timeout", "300"}, 0, 0, ""},
        {{"add-info", "--text", "x", "--wait"}, -1, 1, ""},
        // A command whose result never comes, within the time-out.
        {{"sale-art", "--sum", "1", "--art", "1", "--wait", "--timeout", "1"}, 30, 5, "no result for command 30 within 1 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        host.nextResult = c.answer;
        const CtlRun r = Spoolctl(c.args);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::number(c.answer) + "\n");
        EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << r.err.toStdString();
    }
}

TEST(SpoolctlWithoutSpooler, SaysSoAndExitsThree) {
    CtlRun r = Spoolctl({"id"});
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("no spooler runs"))) << r.err.toStdString();
}

// The real Spooler, installed by its registration switch, started by the bus on a
// client's first call and ending when that client's SpoolAuto1 goes.
TEST(Activation, RegServerInstallsTheFileThatStartsTheSpoolerOnAClientCall) {
    TempRegistry registry;  // a spooler without a driver, with a store of its own
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", data.path());
    env.insert("XDG_RUNTIME_DIR", data.path());
    env.insert("TOLVER_STATE_DIR", data.path() + "/state");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const auto runSpooler = [&](const QString& flag) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SPOOLER), {flag});
        p.waitForFinished(30000);
        return p.exitCode();
    };
    const QString file = data.path() + QStringLiteral("/dbus-1/services/org.tolver.Spooler.service");
    ASSERT_EQ(runSpooler("/RegServer"), 0);
    ASSERT_TRUE(QFile::exists(file));

    // A bus of its own, which reads its activation files from that folder.
    QProcess daemon;
    daemon.setProcessEnvironment(env);
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    pid_t spooler = 0;
    {
        auto c = QDBusConnection::connectToBus(address, QStringLiteral("activation"));
        ASSERT_TRUE(c.isConnected());
        EXPECT_FALSE(c.interface()->isServiceRegistered(QLatin1String(bus::kServiceName)).value());
        {
            SpoolAuto1 client(c);  // the call starts the spooler
            EXPECT_TRUE(client.path().startsWith(QLatin1String(bus::kSpoolAuto1PathPrefix)));
            spooler = static_cast<pid_t>(c.interface()->servicePid(QLatin1String(bus::kServiceName)).value());
            ASSERT_GT(spooler, 0);
        }
        // Its last client gone, the spooler ends.
        EXPECT_TRUE(WaitFor([&] { return ::kill(spooler, 0) != 0; }, 20000));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("activation"));
    if (::kill(spooler, 0) == 0) ::kill(spooler, SIGKILL);
    daemon.terminate();
    daemon.waitForFinished();

    EXPECT_EQ(runSpooler("--UNREGSERVER"), 0);
    EXPECT_FALSE(QFile::exists(file));
}

TEST(ServerSwitches, AcceptTheFormsUsersType) {
    struct Case {
        std::vector<std::string> args;
        bool reg, unreg, automation;
    };
    const Case cases[] = {
        {{"/regserver"}, true, false, false},     {{"-RegServer"}, true, false, false},
        {{"--REGSERVER"}, true, false, false},    {{"UNREGSERVER"}, false, true, false},
        {{"/Automation"}, false, false, true},    {{"-embedding"}, false, false, true},
        {{"-platform", "offscreen"}, false, false, false}, {{"---regserver", "/reg"}, false, false, false},
    };
    for (const Case& c : cases) {
        const ServerSwitches s = ParseServerSwitches(c.args);
        EXPECT_EQ(s.regServer, c.reg) << c.args[0];
        EXPECT_EQ(s.unregServer, c.unreg) << c.args[0];
        EXPECT_EQ(s.automation, c.automation) << c.args[0];
    }
    // The program path is quoted for the bus's shell-like reading.
    EXPECT_EQ(ActivationFileText("/opt/my tolver/it's/Spooler"),
              "[D-BUS Service]\nName=org.tolver.Spooler\nExec='/opt/my tolver/it'\\''s/Spooler' AUTOMATION\n");
}

}  // namespace
}  // namespace tolver::spooler

#include "bus_test.moc"
