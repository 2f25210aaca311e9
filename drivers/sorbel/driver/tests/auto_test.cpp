// The Sorbel automation object on a fake line: settings and frames through the
// contract, Init and its causes, the limits and descriptions, and its events.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

#include "drivers/contract/driverinfoform.h"
#include "drivers/sorbel/driver/sorbel_typelib.h"
#include "drivers/sorbel/driver/tests/sorbel_fixture.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "platform/com/framehandle.h"
#include "platform/com/hresult.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;
using namespace tolver::sorbeltest;

namespace {

class SorbelAuto : public RegistryTest {
protected:
    Variant Get(const char* name) { return DispatchGet(s.object.get(), name); }
    void Put(const char* name, const Variant& v) { DispatchPut(s.object.get(), name, v); }

    SorbelOnFakeLine s;
};

TEST_F(SorbelAuto, FramesCrossAsHandles) {
    // By name, as the host reads them.
    EXPECT_EQ(FrameFromHandle(Get("PropertiesForm").toInt32()), s.Driver().PropertiesFrame());
    EXPECT_EQ(FrameFromHandle(Get("AdvPropertiesForm").toInt32()), s.Driver().AdvPropertiesFrame());
    EXPECT_EQ(FrameFromHandle(Get("InfoForm").toInt32()), s.Driver().InfoFrame());
    EXPECT_NE(Get("PropertiesForm"), Get("AdvPropertiesForm"));

    // A frame that the host destroyed with its window is not freed again.
    QWidget* panel = new QWidget;
    s.Driver().InfoFrame()->setParent(panel);
    delete panel;
    EXPECT_EQ(s.Driver().InfoFrame(), nullptr);
    EXPECT_EQ(Get("InfoForm").toInt32(), 0);
}

TEST_F(SorbelAuto, PropertiesGoThroughTheBasicFrame) {
    // A new object reports its own kind and ProgID in the base part.
    EXPECT_EQ(Get("Properties"), VarArray({VarArray({1, "Sorbel.CashDriverAuto", ""}), 400, 2000, 2, 3, 0}));
    // A put is shown in the frame (clamped by the spin edits); a get reads the frame.
    Put("Properties", VarArray({VarArray({1, "Sorbel.CashDriverAuto", "/opt/Sorbel.csh"}), 3000, 5, 1, 6, 1}));
    EXPECT_EQ(s.Driver().PropertiesFrame()->seditWaitCheckOutPrint->value(), 2000);
    EXPECT_EQ(Get("Properties"),
              VarArray({VarArray({1, "Sorbel.CashDriverAuto", "/opt/Sorbel.csh"}), 2000, 10, 1, 6, 1}));
    s.Driver().PropertiesFrame()->comboPriority->setCurrentIndex(0);
    EXPECT_EQ(Get("Properties").array().elements()[4], Variant(0));
    // A malformed blob is ignored; what was read before the bad element stays.
    Put("Properties", Variant("nonsense"));
    Put("Properties", VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 600, "x", 1, 6}));
    EXPECT_EQ(s.Driver().Settings().WaitCheckOutPrint, 600);
    EXPECT_EQ(s.Driver().PropertiesFrame()->seditWaitCheckOutPrint->value(), 600);
}

TEST_F(SorbelAuto, AdvancedPropertiesAndTheSetup) {
    // Default mode 1 is 0: shown checked; unchecked it reads as 1.
    EXPECT_TRUE(s.Driver().AdvPropertiesFrame()->cboxSysCond1->isChecked());
    s.Driver().AdvPropertiesFrame()->cboxSysCond1->setChecked(false);
    EXPECT_EQ(Get("AdvProperties").array().elements()[0], Variant(1));

    // The setup's advanced blob is what the driver works with, and its frame shows it:
    // a get right after the put returns the setup's values.
    TSpoolerSetup setup;
    const Variant blob = VarArray({0, 1, 0, 2, 1, 0, 1, 3, 0, true});
    setup.DriverSetup.AdvPropertiesData = blob;
    setup.DigitCount = 3;
    ASSERT_EQ(s->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    EXPECT_EQ(s.Driver().Setup.DigitCount, 3);
    EXPECT_EQ(s.Driver().AdvSettings().SysCond5, 1);
    EXPECT_TRUE(s.Driver().AdvPropertiesFrame()->cboxBlockKeyb->isChecked());
    EXPECT_EQ(Get("AdvProperties"), blob);

    // Init adapts the frame to the model and shows the settings again, so its lists
    // keep their values (mode 8 value 4 exists from row 1 on).
    const Variant blob4 = VarArray({0, 1, 0, 2, 1, 0, 1, 4, 0, true});
    setup.DriverSetup.AdvPropertiesData = blob4;
    ASSERT_EQ(s->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    std::string cause;
    std::int32_t v = -1;
    ASSERT_EQ(s->Init(Get("Properties"), &cause, &v), S_OK);
    ASSERT_EQ(v, 0);
    EXPECT_EQ(s.Driver().AdvPropertiesFrame()->comboSysCond8->currentIndex(), 4);
    EXPECT_EQ(Get("AdvProperties"), blob4);

    // A malformed setup keeps the setup copy (and its blob); a malformed blob changes
    // nothing.
    Put("AdvProperties", blob);
    ASSERT_EQ(s->set_SpoolerSetup(Variant(7)), S_OK);
    EXPECT_EQ(Get("AdvProperties"), blob4);
    setup.DriverSetup.AdvPropertiesData = VarArray({1, 1});
    ASSERT_EQ(s->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    Put("AdvProperties", VarArray({1, 1, 1, 1, 1, 1, 1, 1, 1, false, 0}));
    EXPECT_EQ(Get("AdvProperties"), blob4);
}

TEST_F(SorbelAuto, InitAndItsCauses) {
    Recorder& sink = s.Connect();
    std::string cause = "old";
    std::int32_t v = 0;
    // A malformed blob: not ready, the port stays closed.
    ASSERT_EQ(s->Init(VarArray({1, 2}), &cause, &v), S_OK);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cause, "Ошибка инициализации");
    EXPECT_FALSE(s.port->IsOpen());

    // A port that cannot be opened.
    s.port->failOpen = true;
    ASSERT_EQ(s->set_ComNumber(3), S_OK);
    ASSERT_EQ(s->Init(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 500, 2500, 0, 3, 1}), &cause, &v), S_OK);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cause, "Ошибка при открытии COM3");

    // A model outside the firmware table: not ready, with the cause.
    s.port->failOpen = false;
    ASSERT_EQ(s->Init(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 500, 2500, 9, 3, 1}), &cause, &v), S_OK);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cause, "Неизвестная версия прошивки кассового аппарата (Model = 9)");
    EXPECT_FALSE(s.port->IsOpen());

    // Ready: the engine runs with the blob's model and settings; the advanced frame
    // follows the model and the host hears of it.
    s.port->failOpen = false;
    sink.events.clear();
    ASSERT_EQ(s->Init(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 500, 2500, 1, 3, 1}), &cause, &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(cause, "");
    EXPECT_TRUE(s.port->IsOpen());
    EXPECT_EQ(s.Engine().Model(), 1);
    EXPECT_EQ(s.Engine().KeyCheckMode(), 1);
    EXPECT_EQ(s.Engine().WaitCheckOutPrint(), std::chrono::milliseconds(500));
    EXPECT_EQ(s.Engine().WaitCheckOutLongPrint(), std::chrono::milliseconds(2500));
    EXPECT_EQ(s.Driver().AdvPropertiesFrame()->lSysCond8->text().toStdString(), "8. Передача копии печати на ПК:");
    EXPECT_EQ(s.Driver().PropertiesFrame()->comboModel->currentIndex(), 1);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].id, ICashDriverAutoEvents::OnModelChange);
    EXPECT_TRUE(sink.events[0].args.empty());
    ASSERT_EQ(s->Done(), S_OK);
    EXPECT_FALSE(s.port->IsOpen());
}

TEST_F(SorbelAuto, LimitsFollowTheUsersModelChoice) {
    // Before the first Init the engine has no row of its own yet; what the limits
    // advertise is what the operations check.
    s.Engine().SetModel(0);
    std::int32_t id = 0;
    ASSERT_EQ(s->AddPayArt(1.0, Currency::Parse("1"), Currency::Parse("1"), 500, &id), S_OK);
    EXPECT_GT(id, 0);
    s.Engine().SetModel(2);
    Variant c;
    ASSERT_EQ(s->get_Constraints(&c), S_OK);
    EXPECT_EQ(c.array().elements()[0], Variant("Версия 05 (ER-350F STU-05 К.С. <5a26>)"));
    EXPECT_EQ(c.array().elements()[2], Variant(900));
    std::string text;
    ASSERT_EQ(s->get_CashModelDescription(&text), S_OK);
    EXPECT_EQ(text, "Samsung ER-350F STU\x01Версия 05 (ER-350F STU-05 К.С. <5a26>)");

    // The user picks row 0 in the frame: the limits change at once, the engine's
    // model (and the item lists, which every row shares) at the next Init.
    Recorder& sink = s.Connect();
    TfrmSamsER350FProperties* frame = s.Driver().PropertiesFrame();
    frame->comboModel->setCurrentIndex(0);
    emit frame->comboModel->activated(0);
    ASSERT_EQ(s->get_Constraints(&c), S_OK);
    TCashDriverConstraints limits;
    VariantToCashDriverConstraints(limits, c);
    EXPECT_EQ(limits.MaxArt, 250);
    EXPECT_EQ(limits.MaxOp, 4);
    EXPECT_EQ(limits.MsgLineWidth, 26);
    EXPECT_EQ(limits.ProgramItems,
              "Время;Информация на чеке;Системные режимы;Количество дробных знаков;Отделы;Артикулы;Ставки НДС;");
    EXPECT_EQ(s.Engine().Model(), 2);
    ASSERT_EQ(s->AddPayArt(1.0, Currency::Parse("1"), Currency::Parse("1"), 500, &id), S_OK);
    EXPECT_EQ(id, -1);  // by the row the limits show
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_TRUE(s.Driver().AdvPropertiesFrame()->cboxBlockKeyb->isHidden());
    for (auto member : {&ICashDriverAuto::get_XReportItems, &ICashDriverAuto::get_ZReportItems}) {
        ASSERT_EQ((s.object.get()->*member)(&text), S_OK);
        EXPECT_EQ(text, "Финансовый дневной;Общий по артикулам;Кассиров;Почасовый;");
    }

    // A model outside the table gives no limits and no version name.
    Put("Properties", VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 400, 2000, 9, 3}));
    ASSERT_EQ(s->get_Constraints(&c), S_OK);
    EXPECT_TRUE(c.isEmpty());
    ASSERT_EQ(s->get_CashModelDescription(&text), S_OK);
    EXPECT_EQ(text, "Samsung ER-350F STU\x01");
}

TEST_F(SorbelAuto, EventsGoToTheOneSink) {
    std::string iid;
    ASSERT_EQ(s->get_EventIID(&iid), S_OK);
    EXPECT_EQ(iid, "{849C7023-B964-11D4-8407-00104B205A89}");

    // Without a sink every operation still works.
    std::int32_t v = 0;
    ASSERT_EQ(s->AddInfo("Без слушателя", &v), S_OK);
    EXPECT_EQ(v, 0);

    Recorder& sink = s.Connect();
    Recorder second;
    try {
        second.receiver.Connect(static_cast<ICashDriverAuto*>(s.object.get()));
        ADD_FAILURE() << "a second sink was taken";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.ErrorCode(), CONNECT_E_ADVISELIMIT);
    }
    EXPECT_FALSE(second.receiver.Connected());

    // Texts go out cut to 255 characters; a result without id is not reported.
    const std::string longText(300, 'x');
    s.Driver().RaiseText(ICashDriverAutoEvents::OnProtocolError, "Ошибка " + longText);
    s.Driver().RaiseCommandResult(0, 0);
    s.Driver().RaiseCommandResult(7, -1);
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].id, ICashDriverAutoEvents::OnProtocolError);
    EXPECT_EQ(sink.events[0].args[0].toString(), "Ошибка " + longText.substr(0, 248));
    EXPECT_EQ(sink.events[1].id, ICashDriverAutoEvents::OnCommandResult);
    EXPECT_EQ(sink.events[1].args, (std::vector<Variant>{7, -1}));

    // A failing sink does not fail the driver.
    sink.onEvent = [](const Recorder::Event&) { throw Exception("sink failed"); };
    EXPECT_EQ(s->AddInfo("Текст", &v), S_OK);
    EXPECT_EQ(v, 0);

    // The line settings and the link state.
    ASSERT_EQ(s->set_Baud(19200), S_OK);
    ASSERT_EQ(s->set_ComNumber(4), S_OK);
    std::int32_t baud = 0;
    std::uint8_t com = 0;
    bool up = true;
    ASSERT_EQ(s->get_Baud(&baud), S_OK);
    ASSERT_EQ(s->get_ComNumber(&com), S_OK);
    ASSERT_EQ(s->get_InInteraction(&up), S_OK);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(com, 4);
    EXPECT_FALSE(up);
    EXPECT_EQ(Get("InInteraction"), Variant(false));
}

}  // namespace

// The library's identity: its class carries the contract's events as default source.
TEST(SorbelTypeLibrary, ClassCashDriverAutoWithTheContractsEvents) {
    const TypeLibInfo& lib = SorbelTypeLibrary();
    EXPECT_EQ(lib.help, "Sorbel Library");
    ASSERT_EQ(lib.coclasses.size(), 1u);
    EXPECT_EQ(GUIDToString(lib.coclasses[0].clsid), "{849C7025-B964-11D4-8407-00104B205A89}");
    EXPECT_EQ(lib.coclasses[0].defaultSource, &ICashDriverAutoEvents::TypeInfo());
}

TOLVER_GUI_TEST_MAIN()
