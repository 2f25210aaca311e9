// The Dalvern automation object on a recording queue: one method table under two
// interface identifiers, its type library, settings and frames through the contract,
// Init, the limits and descriptions, the split of a sale by its count, and events.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

#include "drivers/contract/driverinfoform.h"
#include "drivers/dalvern/driver/tests/dalvern_fixture.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"
#include "platform/com/framehandle.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;
using namespace tolver::dalverntest;

namespace {

Currency C(const char* text) { return Currency::Parse(text); }

class DalvernAuto : public ::testing::Test {
protected:
    Variant Get(const char* name) { return DispatchGet(d.object.get(), name); }
    void Put(const char* name, const Variant& v) { DispatchPut(d.object.get(), name, v); }

    DalvernOnRecorder d;
};

// Both identifiers lead to one vtable: slot 28 is the same AddPayArt.
TEST_F(DalvernAuto, BothInterfacesShareOneMethodTable) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    ASSERT_EQ(d.object->QueryInterface(MakeGUID("{849C7021-B964-11D4-8407-00104B205A89}"), &p1), S_OK);
    ASSERT_EQ(d.object->QueryInterface(MakeGUID("{C63302B2-E4EC-411D-ACD9-03C5DB64D7AA}"), &p2), S_OK);
    auto contract = ComPtr<ICashDriverAuto>::Adopt(static_cast<ICashDriverAuto*>(p1));
    auto own = ComPtr<IRegFisc2160CashDriverAuto>::Adopt(static_cast<IRegFisc2160CashDriverAuto*>(p2));
    const auto vtable = [](const void* p) { return *static_cast<void* const* const*>(p); };
    EXPECT_EQ(vtable(contract.get())[28], vtable(static_cast<ICashDriverAuto*>(own.get()))[28]);
    std::int32_t a = 0, b = 0;
    contract->AddPayArt(1, C("1"), C("1"), 5, &a);
    own->AddPayArt(1, C("1"), C("1"), 5, &b);
    EXPECT_EQ(b, a + 1);
}

TEST(DalvernTypeLibrary, RepeatsTheContractMemberForMember) {
    const TypeLibInfo& lib = DalvernTypeLibrary();
    EXPECT_EQ(lib.name, "Dalvern");
    EXPECT_EQ(lib.help, "Dalvern Library");
    EXPECT_EQ(lib.libid, MakeGUID("{305A58FC-4036-48D1-8132-2BB3337CB5CF}"));
    ASSERT_EQ(lib.coclasses.size(), 1u);
    const CoClassInfo& cls = lib.coclasses[0];
    EXPECT_EQ(cls.name, "RegFisc2160CashDriverAuto");
    EXPECT_EQ(cls.clsid, MakeGUID("{04F6444A-9921-4A7D-B11E-EA301CE96F0D}"));
    EXPECT_EQ(cls.defaultSource->IID(), MakeGUID("{7D198E65-EF35-4020-88D9-CAD20B5ED401}"));
    EXPECT_EQ(lib.enums.at(0)->guid, MakeGUID("{737F5C5F-9165-4059-8842-2FD61AD43AA0}"));

    const auto same = [](const InterfaceInfo& mine, const InterfaceInfo& contract, std::size_t count) {
        ASSERT_EQ(mine.Members().size(), count);
        ASSERT_EQ(contract.Members().size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const MemberInfo &m = mine.Members()[i], &c = contract.Members()[i];
            SCOPED_TRACE(m.name);
            EXPECT_EQ(m.name, c.name);
            EXPECT_EQ(m.dispid, c.dispid);
            EXPECT_EQ(m.slot, c.slot);
            EXPECT_EQ(m.compiledSlot, m.slot);
            ASSERT_EQ(m.params.size(), c.params.size());
            for (std::size_t p = 0; p < m.params.size(); ++p) EXPECT_EQ(m.params[p].name, c.params[p].name);
        }
    };
    EXPECT_EQ(IRegFisc2160CashDriverAuto::TypeInfo().Help(), "Dispatch interface for RegFisc2160CashDriverAuto Object");
    EXPECT_EQ(IRegFisc2160CashDriverAuto::TypeInfo().Kind(), InterfaceKind::Dual);
    same(IRegFisc2160CashDriverAuto::TypeInfo(), ICashDriverAuto::TypeInfo(), ICashDriverAuto::TypeInfo().Members().size());
    EXPECT_EQ(IRegFisc2160CashDriverAutoEvents::TypeInfo().Kind(), InterfaceKind::DispatchOnly);
    same(IRegFisc2160CashDriverAutoEvents::TypeInfo(), ICashDriverAutoEvents::TypeInfo(), 7);
}

// The sink connected through EventIID gets the results; an id of 0 raises nothing, and
// without a sink events are dropped quietly.
TEST_F(DalvernAuto, EventsGoToTheSinkOfEventIID) {
    EXPECT_EQ(Get("EventIID").toString(), "{7D198E65-EF35-4020-88D9-CAD20B5ED401}");
    d.engine->OnCommandResult(3, 0);  // nobody listens yet
    std::vector<Raised>& events = d.Connect();
    EXPECT_EQ(d.receiver.EventIID(), IRegFisc2160CashDriverAutoEvents::IID);
    d.engine->OnCommandResult(4, -1);
    d.engine->OnCommandResult(0, 0);
    d.engine->OnQuery(std::string(300, 'x'));
    d.engine->OnLog("-> ACK");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].id, 6);
    EXPECT_EQ(events[0].args, (std::vector<Variant>{4, -1}));
    EXPECT_EQ(events[1].id, 5);
    EXPECT_EQ(events[1].args[0].toString().size(), 255u);
    EXPECT_EQ(events[2].id, 1);
    // The contract's own events identifier is not the one this driver raises on.
    ComPtr<IConnectionPoint> point;
    EXPECT_NE(d.object->FindConnectionPoint(ICashDriverAutoEvents::IID, point.put()), S_OK);
}

// A count of exactly 1, a fraction and a whole number reach their three sales.
TEST_F(DalvernAuto, TheCountChoosesTheSale) {
    const auto quantity = [&](double count) -> std::string {
        std::int32_t v;
        d->AddPayArt(count, C("1"), C("1"), 5, &v);
        const Cmds c = d.Take();
        return v == -1 || c.empty() ? "refused" : c[0].text.substr(3, 4);
    };
    EXPECT_EQ(quantity(1.0), std::string("\0\0\x03\xE8", 4));
    EXPECT_EQ(quantity(2.0), std::string("\0\0\x07\xD0", 4));
    EXPECT_EQ(quantity(0.5), std::string("\0\0\x01\xF4", 4));
    EXPECT_EQ(quantity(0), "refused");
    EXPECT_EQ(quantity(1e12), "refused");
    for (double count : {1.0, 2.0, 0.5, 0.0}) {
        std::int32_t v = 0;
        d->AddPayDep("Отдел", count, C("1"), C("1"), 1, &v);
        EXPECT_EQ(v, -1);
    }
    EXPECT_TRUE(d.Take().empty());
}

TEST_F(DalvernAuto, LimitsAndDescriptionFollowTheIdentifiedFirmware) {
    TCashDriverConstraints c;
    VariantToCashDriverConstraints(c, Get("Constraints"));
    EXPECT_EQ(c.VersionName, "2160.01.O");
    EXPECT_EQ(c.MaxArt, 8000);
    EXPECT_EQ(c.MsgLineWidth, 35);
    EXPECT_EQ(Get("CashModelDescription").toString(), "РФ 2160\x01" "2160.01.O");
    d.engine->versionIndex = 0;
    VariantToCashDriverConstraints(c, Get("Constraints"));
    EXPECT_EQ(c.VersionName, "26.10.0");
    EXPECT_EQ(Get("CashModelDescription").toString(), "РФ 2160\x01" "26.10.0");
    EXPECT_EQ(Get("ZReportItems").toString(), "Дневной по продажам;Кассиров;По артикулам;");
    EXPECT_EQ(Get("BeginMsg").toString(), "");
}

TEST_F(DalvernAuto, FramesCrossAsHandles) {
    EXPECT_EQ(FrameFromHandle(Get("PropertiesForm").toInt32()), d.Driver().PropertiesFrame());
    EXPECT_EQ(FrameFromHandle(Get("AdvPropertiesForm").toInt32()), d.Driver().AdvPropertiesFrame());
    EXPECT_EQ(FrameFromHandle(Get("InfoForm").toInt32()), d.Driver().InfoFrame());
    // A frame that the host destroyed with its window is not freed again.
    QWidget* panel = new QWidget;
    d.Driver().InfoFrame()->setParent(panel);
    delete panel;
    EXPECT_EQ(Get("InfoForm").toInt32(), 0);
}

TEST_F(DalvernAuto, PropertiesGoThroughTheBasicFrame) {
    EXPECT_EQ(Get("Properties"), VarArray({VarArray({3, "Dalvern.RegFisc2160CashDriverAuto", ""}), 3, 5, 30, false}));
    Put("Properties", VarArray({VarArray({3, "Dalvern.RegFisc2160CashDriverAuto", "/opt/Dalvern.csh"}), 5, 99, 20, true}));
    EXPECT_EQ(d.Driver().PropertiesFrame()->seditWaitCheckOutPrint->value(), 60);  // the edit's range
    EXPECT_EQ(Get("Properties"),
              VarArray({VarArray({3, "Dalvern.RegFisc2160CashDriverAuto", "/opt/Dalvern.csh"}), 5, 60, 20, true}));
    Put("Properties", Variant("nonsense"));  // ignored
    EXPECT_EQ(d.Driver().Settings().Priority, 5);
}

// The setup's advanced blob is what the operations use, and the frame shows it at once:
// a get right after the put returns the setup's values, not a stale frame.
TEST_F(DalvernAuto, TheSetupsAdvancedBlobIsShownAndReturned) {
    TSpoolerSetup setup;
    const Variant blob = VarArray({"123", "456", false, true, true});
    setup.DriverSetup.AdvPropertiesData = blob;
    setup.BeginMsg = {"Шапка"};
    ASSERT_EQ(d->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    EXPECT_EQ(d.Driver().Setup.BeginMsg, std::vector<std::string>{"Шапка"});
    EXPECT_FALSE(d.Driver().AdvSettings().OpenMoneyBox);
    EXPECT_TRUE(d.Driver().AdvPropertiesFrame()->cbAutoCutOff->isChecked());
    EXPECT_EQ(Get("AdvProperties"), blob);

    // Not an array: success, and the previous setup stays in use.
    EXPECT_EQ(d->set_SpoolerSetup(Variant(7)), S_OK);
    EXPECT_EQ(d.Driver().Setup.BeginMsg, std::vector<std::string>{"Шапка"});
    EXPECT_EQ(Get("AdvProperties"), blob);

    // The frame's controls count once the user changes them.
    d.Driver().AdvPropertiesFrame()->cbOpenMoneyBox->setChecked(true);
    EXPECT_EQ(Get("AdvProperties"), VarArray({"123", "456", true, true, true}));
    EXPECT_TRUE(d.Driver().AdvSettings().OpenMoneyBox);
}

TEST_F(DalvernAuto, InitHandsTheSettingsToTheEngine) {
    std::string cause;
    std::int32_t v = 1;
    const Variant blob = VarArray({VarArray({3, "Dalvern.RegFisc2160CashDriverAuto"}), 6, 5, 30, true});
    ASSERT_EQ(d->Init(blob, &cause, &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(d.engine->PortOpen());
    EXPECT_EQ(d.engine->Priority(), 6);
    EXPECT_TRUE(d.engine->IgnoreReplyFormatError());
    EXPECT_EQ(d.Driver().PropertiesFrame()->comboPriority->currentIndex(), 6);
    d->Done();
    EXPECT_FALSE(d.engine->PortOpen());

    // A blob that does not read, and a port that does not open.
    ASSERT_EQ(d->Init(Variant("x"), &cause, &v), S_OK);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cause, "Ошибка инициализации");
    d.port->failOpen = true;
    ASSERT_EQ(d->Init(blob, &cause, &v), S_OK);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cause, "Ошибка при открытии COM1");
}

// Members with nothing to wait for answer 0 and queue nothing; the line goes to the engine.
TEST_F(DalvernAuto, QuietMembers) {
    for (const char* name : {"Restore", "Terminate"}) EXPECT_EQ(DispatchCall(d.object.get(), name).toInt32(), 0);
    EXPECT_TRUE(d.engine->Terminating());  // the engine sends nothing new until the next Init
    EXPECT_EQ(DispatchCall(d.object.get(), "ProgramAfterReg", {"BeginMsg"}).toInt32(), 0);
    EXPECT_EQ(DispatchCall(d.object.get(), "OpenCheck", {"Чек"}).toInt32(), 0);
    EXPECT_EQ(DispatchCall(d.object.get(), "AddInfo", {"Текст"}).toInt32(), 0);
    EXPECT_TRUE(d.Take().empty());
    Put("ComNumber", Variant(std::uint8_t{4}));
    Put("Baud", Variant(19200));
    EXPECT_EQ(d.engine->GetComNumber(), 4);
    EXPECT_EQ(Get("Baud").toInt32(), 19200);
    EXPECT_EQ(Get("ID").toString(), "0123456789");
    EXPECT_EQ(Get("TrashID").toString(), "0123456789");
    d.engine->SetBusy(1);
    EXPECT_EQ(Get("InInteraction"), Variant(true));
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
