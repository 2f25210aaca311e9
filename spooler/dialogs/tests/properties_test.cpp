// The settings dialog: its checks against the driver's limits, the list editing, the
// report picks, the keys, the import and OK / Cancel.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>

#include "platform/registry/temp_registry.h"
#include "platform/testing/gui_test_main.h"
#include "spooler/dialogs/paradoximport.h"
#include "spooler/dialogs/properties.h"
#include "spooler/dialogs/tests/dialog_fixture.h"
#include "spooler/dialogs/tests/paradox_writer.h"
#include "spooler/spoolermessage.h"

namespace tolver {
namespace {

using testutil::FakeDriverObject;
using testutil::FakeHost;
using K = TItemListKind;

TCashArtProperties MakeArt(std::int32_t n, std::int32_t dep, std::int32_t tax, const std::string& name) {
    TCashArtProperties art;
    art.N = n;
    art.NDep = dep;
    art.NTax = tax;
    art.Description = name;
    return art;
}

TEST(ItemLimits, OnlyUpperBoundsAndNameLengthInCharacters) {
    TCashDriverConstraints c;
    c.MaxTax = 4;
    c.MaxDep = 8;
    c.MaxArt = 100;
    c.MaxOp = 5;
    c.NameLength = 10;
    const struct {
        TCashArtProperties art;
        bool breaks;
    } arts[] = {
        {MakeArt(100, 8, 4, "Хлеб белый"), false},  // 10 Cyrillic characters (20 bytes) fit
        {MakeArt(101, 1, 1, "Хлеб"), true},
        {MakeArt(1, 9, 1, "Хлеб"), true},
        {MakeArt(1, 1, 5, "Хлеб"), true},
        {MakeArt(1, 1, 1, "Хлеб белый1"), true},
        {MakeArt(0, -3, 77 - 77, ""), false},  // below 1 and missing references pass
    };
    for (const auto& a : arts) EXPECT_EQ(ItemBreaksLimits(K::Art, a.art, c), a.breaks) << a.art.N << " " << a.art.Description;

    TCashDepProperties dep;
    dep.N = 8;
    dep.NTax = 5;
    EXPECT_TRUE(ItemBreaksLimits(K::Dep, dep, c));
    dep.NTax = 4;
    EXPECT_FALSE(ItemBreaksLimits(K::Dep, dep, c));
    TCashOpProperties op;
    op.N = 6;
    EXPECT_TRUE(ItemBreaksLimits(K::Op, op, c));
    TCashTaxProperties tax;
    tax.N = 4;
    EXPECT_FALSE(ItemBreaksLimits(K::Tax, tax, c));

    // Without the driver's limits every numbered item breaks them.
    tax.N = 1;
    EXPECT_TRUE(ItemBreaksLimits(K::Tax, tax, TCashDriverConstraints{}));
}

TEST(ItemLimits, CellsAndTexts) {
    TCashTaxProperties tax;
    tax.N = 3;
    tax.Value = Currency::FromUnits(20);
    tax.ValueAdv = Currency::FromRaw(5000);
    EXPECT_EQ(ItemCells(K::Tax, tax), (std::vector<std::string>{"3", " 20.000 %", "  0.500 %"}));
    TCashArtProperties art = MakeArt(12, 2, 1, "Сыр");
    art.Price = Currency::FromRaw(1234500);
    art.TotalCount = Currency::FromRaw(15000);
    EXPECT_EQ(ItemCells(K::Art, art), (std::vector<std::string>{"12", "2", "1", " 123.45", "  1.500"}));
    TCashDriverConstraints c = testutil::ShopLimits();
    EXPECT_EQ(LimitsText(K::Art, c), "Номер артикула от 1 до 1000; номер отдела от 1 до 16; номер ставки от 1 до 8; "
                                     "наименование не более 18 символов");
    EXPECT_EQ(MessageLimitsText(c), "4 строк начального сообщения; 2 строк заключительного сообщения; каждая строка "
                                    "не более 24 символов");
}

class PropertiesTest : public ::testing::Test {
protected:
    PropertiesTest() {
        host.limits = testutil::ShopLimits();
        dialog = std::make_unique<TfrmProperties>(host);
    }
    TCashArtProperties* Art(int n) { return static_cast<TCashArtProperties*>(host.edit.ArtList.FindByN(n)); }
    const TfrmProperties::ListPage& Page(K kind) { return dialog->Page(kind); }
    QString Status(K kind) { return Page(kind).error->text(); }
    bool RowMarked(K kind, int row) {
        TXtCollectionItem* item = Page(kind).model->ItemAt(row);
        return item->Error || item->Duplicate;
    }
    qint64 RowIcon(K kind, int row) {
        return Page(kind).model->data(Page(kind).model->index(row, 0), Qt::DecorationRole).value<QIcon>().cacheKey();
    }

    TempRegistry registry;
    FakeHost host;
    TSpoolerMessageScript boxes;
    std::unique_ptr<TfrmProperties> dialog;
};

TEST_F(PropertiesTest, ListsBreakingTheLimitsAreMarkedAndOkStillSaves) {
    host.setup.ArtList.CreateItem(1);
    static_cast<TCashArtProperties*>(host.setup.ArtList.CreateItem(20000))->Description = "Слишком большой номер";
    static_cast<TCashTaxProperties*>(host.setup.TaxList.CreateItem(1))->Description = "НДС";
    dialog->Prepare();
    EXPECT_EQ(Status(K::Art), "Список артикулов содержит ошибки");
    EXPECT_EQ(Status(K::Tax), "Список налоговых ставок ошибок не содержит");
    EXPECT_EQ(Page(K::Art).info->text(), QString::fromStdString(LimitsText(K::Art, host.limits)));
    EXPECT_TRUE(Art(20000)->Error);
    EXPECT_FALSE(Art(1)->Error);

    // Passing through its edit panel keeps a number beyond the panel's range.
    dialog->SelectRow(K::Art, Page(K::Art).model->RowOf(Art(20000)));
    dialog->StorePanel(K::Art);
    EXPECT_NE(Art(20000), nullptr);

    dialog->Apply();
    EXPECT_EQ(host.applies, 1);
    EXPECT_NE(host.setup.ArtList.FindByN(20000), nullptr);  // stored as it is
}

TEST_F(PropertiesTest, NewItemsDuplicatesAndDeletion) {
    dialog->Prepare();
    dialog->AddItem(K::Tax);
    auto* tax = host.edit.TaxList.Item<TCashTaxProperties>(0);
    EXPECT_EQ(tax->N, 1);
    EXPECT_EQ(tax->Description, "Ставка НДС  1");
    EXPECT_EQ(tax->Value, Currency::FromUnits(20));
    EXPECT_EQ(tax->ValueAdv, Currency());
    EXPECT_NE(Page(K::Tax).view->findChild<QLineEdit*>(), nullptr);  // its name is open for editing

    for (int i = 0; i < 3; ++i) dialog->AddItem(K::Art);  // 1, 2, 3
    // Number 2 becomes 1 through the edit panel: both 1s are marked once stored.
    dialog->SelectRow(K::Art, Page(K::Art).model->RowOf(Art(2)));
    ASSERT_FALSE(Page(K::Art).panel->isHidden());
    dialog->seditArtN->setValue(1);
    dialog->StorePanel(K::Art);
    EXPECT_EQ(Status(K::Art), "Список артикулов содержит ошибки");
    EXPECT_TRUE(RowMarked(K::Art, 0));
    EXPECT_TRUE(RowMarked(K::Art, 1));
    EXPECT_FALSE(RowMarked(K::Art, 2));
    EXPECT_EQ(RowIcon(K::Art, 0), RowIcon(K::Art, 1));  // the error icon
    EXPECT_NE(RowIcon(K::Art, 0), RowIcon(K::Art, 2));

    // Deleting one clears the other's mark; the row that took its place is selected.
    dialog->SelectRow(K::Art, 1);
    dialog->DeleteSelected(K::Art);
    EXPECT_EQ(host.edit.ArtList.Count(), 2);
    EXPECT_EQ(Status(K::Art), "Список артикулов ошибок не содержит");
    ASSERT_EQ(Page(K::Art).view->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(Page(K::Art).view->selectionModel()->selectedRows().first().row(), 1);

    // A list emptied while it had errors shows its real state again.
    host.limits.MaxArt = 0;
    dialog->CheckList(K::Art);
    dialog->DeleteSelected(K::Art);
    dialog->SelectRow(K::Art, 0);
    dialog->DeleteSelected(K::Art);
    EXPECT_EQ(host.edit.ArtList.Count(), 0);
    EXPECT_EQ(Status(K::Art), "Список артикулов ошибок не содержит");
}

TEST_F(PropertiesTest, ReportPicksWholeNumbersAndKeptWithoutDriver) {
    host.xItems = "X0;X1;X2;";
    host.zItems = "Z0;;Z2;";  // an empty name keeps Z2 at position 2
    host.setup.AutoXReportsBefore = "11;";
    host.setup.AutoZReportsAfter = "2;";
    dialog->Prepare();
    ASSERT_EQ(dialog->listviewXReports->topLevelItemCount(), 3);
    EXPECT_FALSE(dialog->listviewXReports->topLevelItem(1)->data(1, Qt::UserRole).toBool());  // 11 is not 1
    ASSERT_EQ(dialog->listviewZReports->topLevelItemCount(), 3);
    EXPECT_TRUE(dialog->listviewZReports->topLevelItem(2)->data(2, Qt::UserRole).toBool());

    // Clicks on the "До" cells of rows 0 and 2.
    QTreeWidget* x = dialog->listviewXReports;
    dialog->resize(700, 600);
    dialog->PageControl->setCurrentIndex(6);
    dialog->show();
    for (int row : {0, 2}) {
        const QRect cell = x->visualItemRect(x->topLevelItem(row));
        QTest::mouseClick(x->viewport(), Qt::LeftButton, {}, QPoint(x->header()->sectionPosition(1) + 10, cell.center().y()));
    }
    dialog->Apply();
    EXPECT_EQ(host.setup.AutoXReportsBefore, "0;2;");
    EXPECT_EQ(host.setup.AutoXReportsAfter, "");
    EXPECT_EQ(host.setup.AutoZReportsAfter, "2;");
    dialog->hide();

    // With no driver reached the lists stay empty and the stored picks stay.
    host.failing = true;
    dialog->Prepare();
    EXPECT_EQ(dialog->listviewXReports->topLevelItemCount(), 0);
    dialog->Apply();
    EXPECT_EQ(host.setup.AutoXReportsBefore, "0;2;");
    EXPECT_EQ(host.setup.AutoZReportsAfter, "2;");
}

TEST_F(PropertiesTest, OkStoresThePagesValues) {
    host.setup.BeginMsg = {"ООО Колосок", "Добро пожаловать"};
    host.setup.DigitCount = 2;
    dialog->Prepare();
    EXPECT_EQ(dialog->memoBeginMsg->toPlainText(), "ООО Колосок\nДобро пожаловать");
    dialog->memoFinalMsg->setPlainText("Спасибо\nЖдем вас снова");
    dialog->seditDigitCount->setValue(3);
    dialog->cbConfirmXReport->setChecked(true);
    dialog->Apply();
    EXPECT_EQ(host.setup.FinalMsg, (std::vector<std::string>{"Спасибо", "Ждем вас снова"}));
    EXPECT_EQ(host.setup.BeginMsg.size(), 2u);
    EXPECT_EQ(host.setup.DigitCount, 3);
    EXPECT_TRUE(host.setup.ConfirmXReport);
}

TEST_F(PropertiesTest, EnterStoresTheFocusedEditAndClosesWithOkButNotOnCancel) {
    host.setup.ArtList.CreateItem(7);
    dialog->Prepare();
    dialog->show();
    dialog->PageControl->setCurrentIndex(2);
    dialog->SelectRow(K::Art, 0);
    dialog->activateWindow();
    dialog->ceditPrice->setFocus();
    dialog->ceditPrice->selectAll();
    QTest::keyClicks(dialog->ceditPrice, QString("12") + dialog->ceditPrice->locale().decimalPoint() + "50");
    QTest::keyClick(dialog->ceditPrice, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Art(7)->Price, Currency::FromRaw(125000));

    dialog->Prepare();
    dialog->show();
    dialog->bCancel->setFocus();
    QTest::keyClick(dialog->bCancel, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    dialog->Prepare();
    dialog->show();
    dialog->setResult(QDialog::Accepted);
    dialog->memoBeginMsg->setFocus();
    QTest::keyClick(dialog->memoBeginMsg, Qt::Key_Return);  // a new line, the dialog stays
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog->memoBeginMsg, Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(PropertiesTest, ImportFromTheChosenFolderOrTheDesignedError) {
    namespace fs = std::filesystem;
    const fs::path folder = registry.dir() / "old";
    fs::create_directories(folder / "Data");
    testutil::WriteParadoxTable((folder / "Data" / "Plat.DB").string(), testutil::kArticleFields,
                                {{9L, std::string("Сыр"), 1L, 1L}, {4L, std::string("Чай"), 1L, 1L}});
    host.setup.ArtList.CreateItem(4);
    QString prompt;
    dialog->ChooseFolder = [&](const QString& p) {
        prompt = p;
        return QString::fromStdString(folder.string());
    };
    dialog->Prepare();
    dialog->Import(K::Art);
    EXPECT_EQ(prompt, "Укажите путь к подкаталогу установки предыдущей версии Тольвера или Brantle для импорта артикулов.");
    EXPECT_TRUE(boxes.Boxes.empty());
    ASSERT_EQ(Page(K::Art).model->rowCount(), 3);
    EXPECT_EQ(Status(K::Art), "Список артикулов содержит ошибки");  // two articles numbered 4
    EXPECT_EQ(host.edit.ArtList.Item<TCashArtProperties>(2)->N, 9);  // sorted by number

    dialog->Import(K::Dep);  // no Dep.DB there
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Ошибка");
    EXPECT_EQ(boxes.Boxes[0].Text, ImportErrorText("Dep.DB"));
    EXPECT_FALSE(boxes.Boxes[0].YesNo);

    dialog->ChooseFolder = [](const QString&) { return QString(); };  // cancelled
    dialog->Import(K::Dep);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(PropertiesTest, AdvancedPageDockedWhileShownAndCancelRestoresTheDriver) {
    ComPtr<FakeDriverObject> driver = MakeComObject<FakeDriverObject>();
    host.liveObject = ComPtr<IDispatch>::Query(static_cast<IDispatch*>(driver.get()));
    host.setup.DriverSetup.AdvPropertiesData = Variant("stored");
    dialog->Prepare();
    EXPECT_EQ(driver->advPage->parentWidget(), dialog->panelAdvProperties);
    EXPECT_EQ(driver->values["AdvProperties"], Variant("stored"));
    driver->values["AdvProperties"] = Variant("edited on the page");
    dialog->Finish(false);
    EXPECT_EQ(driver->advPage->parentWidget(), nullptr);
    EXPECT_EQ(driver->values["AdvProperties"], Variant("stored"));
    EXPECT_EQ(host.applies, 0);
    EXPECT_EQ(host.saves, 0);
}

}  // namespace
}  // namespace tolver

TOLVER_GUI_TEST_MAIN()
