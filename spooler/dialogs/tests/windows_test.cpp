// The connection dialog and the reports and programming windows, and a rendering of
// every dialog filled with a shop's setup (PNG files under the build tree's shots/).

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"
#include "platform/serial/serialport.h"
#include "platform/testing/gui_test_main.h"
#include "spooler/application.h"
#include "spooler/comcombo.h"
#include "spooler/dialogs/folderbrowser.h"
#include "spooler/dialogs/model.h"
#include "spooler/dialogs/properties.h"
#include "spooler/dialogs/reports.h"
#include "spooler/dialogs/tests/dialog_fixture.h"
#include "spooler/spoolermessage.h"

namespace tolver {
namespace {

namespace fs = std::filesystem;
using testutil::FakeDriverObject;
using testutil::FakeHost;
using Names = std::vector<std::string>;

// Ports 1 and 3 exist on this machine; the others do not.
void MapPorts() {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true));
    for (int n = 1; n <= 8; ++n) reg.WriteString("COM" + std::to_string(n), n == 1 || n == 3 ? "/dev/null" : "/nonexistent/tty");
}

class ModelTest : public ::testing::Test {
protected:
    ModelTest() {
        MapPorts();
        const fs::path drivers = registry.dir() / "drivers";
        fs::create_directories(drivers);
        fs::create_symlink(SORBEL_MODULE, drivers / "Sorbel.csh");
        fs::create_symlink(TEST_DRIVER_MODULE, drivers / "TestDriver.csh");
        dialog = std::make_unique<TfrmModel>(host, drivers.string() + "/");
        dialog->CreateDriver = [this](const std::string& progId) {
            auto object = MakeComObject<FakeDriverObject>();
            created.push_back(object.get());
            progIds.push_back(progId);
            return ComPtr<IDispatch>::Query(static_cast<IDispatch*>(object.get()));
        };
    }
    void Store(int entry, std::uint8_t port) {
        host.setup.DriverSetup.CashDriverProperties->Assign(*dialog->Entries().at(static_cast<std::size_t>(entry)).Properties);
        host.setup.DriverSetup.ComNumber = port;
        host.setup.DriverSetup.Baud = 9600;
        host.setup.DriverSetup.PropertiesData = Variant("stored blob");
        host.setup.DriverSetup.AdvPropertiesData = Variant("stored adv blob");
    }
    std::int32_t CashType(int entry) { return dialog->Entries().at(static_cast<std::size_t>(entry)).Properties->CashType; }
    void PickPort(int n) {
        const int index = dialog->comboCom->findText(QString("Com%1").arg(n));
        dialog->comboCom->setCurrentIndex(index);
        emit dialog->comboCom->activated(index);
    }

    TempRegistry registry;
    FakeHost host;
    std::unique_ptr<TfrmModel> dialog;
    std::vector<FakeDriverObject*> created;
    Names progIds;
};

TEST_F(ModelTest, DriverListAndTheStoredChoiceShown) {
    ASSERT_EQ(dialog->Entries().size(), 3u);
    EXPECT_EQ(dialog->comboDriver->itemText(0), "не установлен");
    EXPECT_EQ(dialog->comboCom->count(), 2);  // Com1 and Com3
    Store(2, 3);
    host.setup.DriverSetup.ProtocolOn = true;
    dialog->Prepare();
    EXPECT_EQ(dialog->comboDriver->currentIndex(), 2);
    EXPECT_EQ(dialog->DriverInfo(), dialog->comboDriver->itemText(2).toStdString());
    EXPECT_EQ(dialog->comboCom->currentText(), "Com3");
    EXPECT_EQ(dialog->comboBaud->currentText(), "9600");
    EXPECT_TRUE(dialog->cboxProtocolOn->isChecked());
    EXPECT_EQ(progIds, (Names{dialog->Entries()[2].Properties->AutoObjectName}));
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(dialog->DockedPage(), created[0]->page.data());
    EXPECT_EQ(created[0]->page->parentWidget(), dialog->panelProperties);
    // The stored blob went into the edited driver once.
    ASSERT_EQ(created[0]->puts.size(), 1u);
    EXPECT_EQ(created[0]->puts[0].second, Variant("stored blob"));

    // Coming back to the dialog from another window keeps what the user changed.
    dialog->comboBaud->setEditText("4800");
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(dialog.get(), &activation);
    EXPECT_EQ(dialog->comboBaud->currentText(), "4800");
    EXPECT_EQ(created[0]->puts.size(), 1u);

    // Another driver picked, then cancelled: the page goes back to its driver, the
    // object is released, nothing saved, and the list shows the driver that runs.
    dialog->comboDriver->setCurrentIndex(1);
    dialog->comboDriverChange(1);
    dialog->Finish();
    EXPECT_EQ(FakeDriverObject::Alive, 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.setup.DriverSetup.ComNumber, 3);
    EXPECT_EQ(dialog->DriverInfo(), dialog->comboDriver->itemText(2).toStdString());
}

TEST_F(ModelTest, AnAdapterIsOfferedByItsStableNameAndAStoredPortNotThereAsWhatItIs) {
    const fs::path dev = registry.dir() / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    std::ofstream(dev / "ttyUSB0") << "";
    const fs::path byId = dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink("../../ttyUSB0", byId);
    dialog->comboCom->devRoot = dev.string();

    // COM12 names an adapter that is not plugged in.
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true));
    reg.WriteString("COM12", "/dev/serial/by-id/usb-Gone-if00-port0");
    Store(1, 12);
    dialog->Prepare();
    QStringList items;
    for (int i = 0; i < dialog->comboCom->count(); ++i) items << dialog->comboCom->itemText(i);
    EXPECT_EQ(items, (QStringList{"Com1", "Com3", "Com9: " + QString::fromStdString(byId.string()),
                                  "Com12: /dev/serial/by-id/usb-Gone-if00-port0 — нет устройства"}));
    EXPECT_EQ(dialog->comboCom->currentIndex(), 3);
    EXPECT_EQ(dialog->comboCom->GetPortNumber(), 12);
    dialog->Finish();

    // Chosen and OK: the port is COM9, and COM9 names the adapter by its stable name.
    dialog->Prepare();
    dialog->comboCom->setCurrentIndex(2);
    emit dialog->comboCom->activated(2);
    dialog->Apply();
    dialog->Finish();
    EXPECT_EQ(host.setup.DriverSetup.ComNumber, 9);
    EXPECT_EQ(ComDevicePath(9), byId.string());
    // The next run lists it under that number, once.
    dialog->Prepare();
    EXPECT_EQ(dialog->comboCom->findText("Com9: " + QString::fromStdString(byId.string())), dialog->comboCom->currentIndex());
    EXPECT_EQ(dialog->comboCom->findText("Com10", Qt::MatchStartsWith), -1);
    dialog->Finish();
}

TEST_F(ModelTest, ApplyTable) {
    const struct {
        const char* name;
        std::uint8_t storedPort;
        int pickEntry;  // -1: the stored driver stays
        int pickPort;   // 0: the user leaves the port alone
        bool pageKeepsValues;  // the edited driver answers "Properties"
        std::uint8_t port;
        const char* blob;  // expected PropertiesData, "" for Empty
        bool advKept;
    } cases[] = {
        {"same driver", 3, -1, 0, true, 3, "page values", true},
        {"same driver, page unreadable", 3, -1, 0, false, 3, "stored blob", true},
        {"other driver", 1, 2, 0, false, 1, "", false},
        {"stored port missing, kept", 2, -1, 0, true, 2, "page values", true},
        {"stored port missing, user picks", 2, -1, 3, true, 3, "page values", true},
        {"port changed", 1, -1, 3, true, 3, "page values", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.calls.clear();
        created.clear();
        Store(1, c.storedPort);
        dialog->Prepare();
        if (c.pickEntry >= 0) {
            dialog->comboDriver->setCurrentIndex(c.pickEntry);
            dialog->comboDriverChange(c.pickEntry);
        }
        if (c.pickPort) PickPort(c.pickPort);
        if (c.pageKeepsValues) created.back()->values["Properties"] = Variant("page values");
        dialog->comboBaud->setEditText("19200");
        dialog->Apply();
        dialog->Finish();

        const TCashDriverSetup& ds = host.setup.DriverSetup;
        EXPECT_EQ(host.calls, (Names{"Release", "Save", "Create", "Reconnect"}));
        EXPECT_EQ(ds.CashDriverProperties->CashType, CashType(c.pickEntry >= 0 ? c.pickEntry : 1));
        EXPECT_EQ(ds.ComNumber, c.port);
        EXPECT_EQ(ds.Baud, 19200);
        EXPECT_EQ(ds.PropertiesData, *c.blob ? Variant(c.blob) : Variant());
        EXPECT_EQ(ds.AdvPropertiesData, c.advKept ? Variant("stored adv blob") : Variant());
        EXPECT_EQ(FakeDriverObject::Alive, 0);
    }
}

TEST_F(ModelTest, ChangingTheDriverKeepsOnePageAndNeverPushesAnotherDriversBlob) {
    Store(1, 1);
    dialog->Prepare();
    const QPointer<QFrame> firstPage = created[0]->page;
    dialog->comboDriverChange(2);
    dialog->comboDriverChange(0);
    dialog->comboDriverChange(2);
    EXPECT_EQ(FakeDriverObject::Alive, 1);
    ASSERT_EQ(created.size(), 4u);
    EXPECT_EQ(dialog->DockedPage(), created.back()->page.data());
    EXPECT_EQ(dialog->panelProperties->findChildren<QFrame*>("driverPage").size(), 1);
    EXPECT_TRUE(firstPage.isNull());  // freed by its released driver, not by the panel

    dialog->PushDriverProperties();  // as the reconnect does
    EXPECT_TRUE(created.back()->puts.empty());

    // A bad baud text keeps the stored rate.
    dialog->comboBaud->setEditText("fast");
    dialog->Apply();
    EXPECT_EQ(host.setup.DriverSetup.Baud, 9600);
    dialog->Finish();
}

TEST_F(ModelTest, EnterPressesTheFocusedButtonEscapeCancels) {
    Store(1, 1);
    dialog->Prepare();
    const auto showActive = [&] {
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    };
    showActive();
    dialog->bCancel->setFocus();
    QTest::keyClick(dialog->bCancel, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    showActive();
    dialog->cboxProtocolOn->setFocus();
    QTest::keyClick(dialog->cboxProtocolOn, Qt::Key_Return);  // the default button, "ОК"
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    showActive();
    EXPECT_FALSE(dialog->Execute());  // already open: brought forward, not run again
    EXPECT_TRUE(host.calls.empty());
    QTest::keyClick(dialog->cboxProtocolOn, Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    dialog->Finish();
}

TEST_F(ModelTest, EveryRunFitsTheDialogToTheDockedPage) {
    // The register driver's own page, and none for "не установлен".
    auto* sorbel = new TfrmSamsER350FProperties;
    dialog->CreateDriver = [&](const std::string& progId) -> ComPtr<IDispatch> {
        if (progId.empty()) return {};
        auto object = MakeComObject<FakeDriverObject>();
        object->values["PropertiesForm"] = Variant(FrameHandle(sorbel));
        return ComPtr<IDispatch>::Query(static_cast<IDispatch*>(object.get()));
    };
    const auto pageWhole = [&] {
        return dialog->DockedPage() == sorbel && sorbel->width() >= sorbel->sizeHint().width() &&
               sorbel->height() >= sorbel->sizeHint().height();
    };
    ASSERT_TRUE(dialog->Entries()[0].Properties->AutoObjectName.empty());
    // A run without a page, the driver chosen within it, a run without a page again,
    // and a run with the page from the start.
    for (const bool pickInRun : {true, false}) {
        SCOPED_TRACE(pickInRun ? "chosen within the run" : "stored");
        Store(0, 1);
        dialog->Prepare();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        const int narrow = dialog->width();
        if (pickInRun) {
            dialog->comboDriverChange(1);
        } else {
            dialog->hide();
            dialog->Finish();
            Store(1, 1);
            dialog->Prepare();
            dialog->show();
        }
        EXPECT_TRUE(QTest::qWaitFor(pageWhole, 5000));
        EXPECT_GT(dialog->width(), narrow);
        dialog->hide();
        dialog->Finish();
    }
    delete sorbel;
}

TEST(ReportsWindows, ListsPicksAndClearedMarks) {
    TempRegistry registry;
    FakeHost host;
    host.xItems = "Кассиры;Часовой;Отделы;";
    host.zItems = "Дневной;Периодический";
    TfrmReports reports(host);
    reports.FormActivate();
    ASSERT_EQ(reports.listviewXReports->topLevelItemCount(), 3);
    ASSERT_EQ(reports.listviewZReports->topLevelItemCount(), 2);
    reports.listviewXReports->topLevelItem(0)->setCheckState(0, Qt::Checked);
    reports.listviewXReports->topLevelItem(2)->setCheckState(0, Qt::Checked);
    reports.bReport->click();
    EXPECT_EQ(host.calls, (Names{"X:0;2;"}));
    EXPECT_EQ(reports.listviewXReports->topLevelItem(0)->checkState(0), Qt::Unchecked);

    TfrmProgram program(host);
    for (const char* text : {"Артикулы;Кассиры", "Артикулы;Кассиры;"}) {
        program.FillItems(text);
        ASSERT_EQ(program.listviewProgram->topLevelItemCount(), 2) << text;
        EXPECT_EQ(program.listviewProgram->topLevelItem(1)->text(0), "Кассиры");
    }
    program.listviewProgram->topLevelItem(1)->setCheckState(0, Qt::Checked);
    program.bProgram->click();
    EXPECT_EQ(host.calls.back(), "P:1;");

    // Without a driver the lists stay empty and "Выполнить" does nothing.
    host.driver = false;
    host.calls.clear();
    program.FormActivate();
    EXPECT_EQ(program.listviewProgram->topLevelItemCount(), 0);
    program.bProgram->click();
    EXPECT_TRUE(host.calls.empty());
}

// The register's report names as the fiscal register's driver gives them.
constexpr const char* kFiscalXReports =
    "Дневной по продажам;Кассиров;По артикулам;Периодический по датам фискальной памяти;Периодический по датам "
    "фискальной памяти (сокращенный);Периодический по номерам фискальной памяти;Периодический по номерам фискальной "
    "памяти (сокращенный);Программирования;";
constexpr const char* kFiscalZReports = "Дневной по продажам;Кассиров;По артикулам;";

TEST(ReportsWindows, LongReportNamesAreShownWhole) {
    TempRegistry registry;
    FakeHost host;
    host.xItems = kFiscalXReports;
    host.zItems = kFiscalZReports;
    TfrmReports reports(host);
    reports.ShowReports();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&reports));
    reports.resize(400, reports.height());  // as narrow as a user or a stored placement may leave it
    reports.FormActivate();
    ASSERT_EQ(reports.listviewXReports->topLevelItemCount(), 8);
    // The column is as wide as the view says its widest row needs: nothing elided.
    for (QTreeWidget* list : {reports.listviewXReports, reports.listviewZReports}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const auto whole = [list] {
            return list->header()->sectionSize(0) >= static_cast<QAbstractItemView*>(list)->sizeHintForColumn(0);
        };
        EXPECT_TRUE(QTest::qWaitFor(whole, 5000));
    }
    testutil::Shoot(&reports, "reports_fiscal");
}

TEST(ReportsWindows, TheProgrammingWindowOpensCentred) {
    TempRegistry registry;
    FakeHost host;
    TfrmProgram program(host);
    program.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((program.geometry().center() - centre).manhattanLength(), 8)
        << program.geometry().x() << "," << program.geometry().y();
}

TEST(SettingsReportsPage, TheBeforeAndAfterColumnsOfBothListsLineUp) {
    TempRegistry registry;
    FakeHost host;
    host.xItems = kFiscalXReports;  // more rows than its list shows
    host.zItems = kFiscalZReports;
    TfrmProperties properties(host);
    properties.Prepare();
    properties.PageControl->setCurrentIndex(6);
    properties.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&properties));
    properties.resize(583, 457);  // the designed size
    ASSERT_TRUE(QTest::qWaitFor([&] { return properties.listviewXReports->verticalScrollBar()->maximum() > 0; }, 5000));
    ASSERT_EQ(properties.listviewZReports->verticalScrollBar()->maximum(), 0);
    const auto left = [&](QTreeWidget* list, int column) {
        QHeaderView* h = list->header();
        return h->viewport()->mapTo(&properties, QPoint(h->sectionViewportPosition(column), 0)).x();
    };
    for (const int column : {1, 2}) {
        SCOPED_TRACE(column);
        static_cast<void>(QTest::qWaitFor(
            [&] { return left(properties.listviewXReports, column) == left(properties.listviewZReports, column); }, 5000));
        EXPECT_EQ(left(properties.listviewXReports, column), left(properties.listviewZReports, column));
    }
    testutil::Shoot(&properties, "properties_reports_fiscal");
    properties.Finish(false);
}

TEST(FolderBrowser, TheImportAsksInRussianWithThePromptWhole) {
    SetUpSpoolerApplication(*qApp);
    TempRegistry registry;
    FakeHost host;
    TfrmProperties properties(host);
    const QString prompt =
        "Укажите путь к подкаталогу установки предыдущей версии Тольвера или Brantle для импорта артикулов.";
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<TFolderBrowser*>(QApplication::activeModalWidget());
        ASSERT_NE(browser, nullptr);
        seen = true;
        EXPECT_EQ(browser->lPrompt->text(), prompt);
        EXPECT_TRUE(browser->lPrompt->isVisible());
        EXPECT_GE(browser->lPrompt->height(), browser->lPrompt->heightForWidth(browser->lPrompt->width()));
        EXPECT_EQ(browser->windowTitle(), "Найти каталог");
        EXPECT_TRUE(browser->files->isVisible());
        EXPECT_FALSE(browser->files->isWindow());
        QStringList buttons;
        for (const QPushButton* b : browser->files->findChildren<QPushButton*>())
            if (b->isVisible()) buttons << b->text();
        EXPECT_TRUE(buttons.contains("&Выбрать")) << buttons.join("|").toStdString();
        EXPECT_TRUE(buttons.contains("Отмена")) << buttons.join("|").toStdString();
        testutil::Shoot(browser, "folder_browser");
        browser->reject();
    });
    EXPECT_EQ(properties.ChooseFolder(prompt), QString());  // cancelled
    EXPECT_TRUE(seen);
}

// Every dialog as a shop owner sees it, at its designed size.
TEST(Render, EveryDialogWithAShopSetup) {
    TempRegistry registry;
    MapPorts();
    FakeHost host;
    host.limits = testutil::ShopLimits();
    testutil::FillShopSetup(host.setup);
    host.setup.AutoXReportsBefore = "0;";
    host.setup.AutoZReportsAfter = "0;";
    host.xItems = "Отчет по кассирам;Почасовой отчет;Отчет по отделам;Отчет по артикулам;Отчет по налогам;";
    host.zItems = "Дневной Z-отчет;Периодический Z-отчет;Z-отчет по артикулам;";
    host.programItems = "Артикулы;Отделы;Кассиры;Налоговые ставки;Заголовок чека;Окончание чека;Системные режимы;";

    // The driver's own frames, as the register driver builds them.
    auto* page = new TfrmSamsER350FProperties;
    auto* advPage = new TfrmSamsER350FAdvProperties;
    ComPtr<FakeDriverObject> live = MakeComObject<FakeDriverObject>();
    live->values["AdvPropertiesForm"] = Variant(FrameHandle(advPage));
    host.liveObject = ComPtr<IDispatch>::Query(static_cast<IDispatch*>(live.get()));

    {
        const fs::path drivers = registry.dir() / "drivers";
        fs::create_directories(drivers);
        fs::create_symlink(SORBEL_MODULE, drivers / "Sorbel.csh");
        TfrmModel model(host, drivers.string() + "/");
        model.CreateDriver = [&](const std::string&) {
            auto object = MakeComObject<FakeDriverObject>();
            object->values["PropertiesForm"] = Variant(FrameHandle(page));
            return ComPtr<IDispatch>::Query(static_cast<IDispatch*>(object.get()));
        };
        host.setup.DriverSetup.CashDriverProperties->Assign(*model.Entries().back().Properties);
        host.setup.DriverSetup.ComNumber = 1;
        host.setup.DriverSetup.Baud = 9600;
        model.Prepare();
        testutil::Shoot(&model, "model");
        model.Finish();
    }
    {
        TfrmProperties properties(host);
        properties.Prepare();
        const char* const names[] = {"properties_tax", "properties_dep", "properties_art", "properties_op",
                                     "properties_adv", "properties_info", "properties_reports"};
        for (int i = 0; i < 7; ++i) {
            properties.PageControl->setCurrentIndex(i);
            if (i == 2) properties.SelectRow(TItemListKind::Art, 3);
            testutil::Shoot(&properties, names[i]);
        }
        properties.Finish(false);
    }
    {
        TfrmReports reports(host);
        reports.FormActivate();
        testutil::Shoot(&reports, "reports");
        TfrmProgram program(host);
        program.FormActivate();
        testutil::Shoot(&program, "program");
    }
    delete page;
    delete advPage;
    EXPECT_TRUE(fs::exists(fs::path(TOLVER_SHOTS_DIR) / "properties_art.png"));
}

}  // namespace
}  // namespace tolver

TOLVER_GUI_TEST_MAIN()
