// The properties page of the payments statement, offscreen: what it shows for each
// mode, how ticking names and the buttons change the report, and its pictures
// (written beside the test in the build tree).

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "platform/testing/gui_test_main.h"
#include "reports/vora/propertiesform.h"
#include "reports/vora/vorareport.h"

namespace tolver {
namespace {

class VoraPage : public ::testing::Test {
protected:
    ComPtr<TVoraReport> report = MakeComObject<TVoraReport>();

    std::unique_ptr<TfrmProperties> Open(const char* properties) {
        report->SetNames("Газ\r\nВода\r\nЭлектроэнергия\r\nМобильная связь\r\nШтрафы ГИБДД\r\n");
        report->SetProperties(properties);
        QWidget* control = report->CreatePropertiesControl();
        auto* page = dynamic_cast<TfrmProperties*>(control);
        EXPECT_NE(page, nullptr);
        if (!page) delete control;
        return std::unique_ptr<TfrmProperties>(page);
    }
    static std::vector<std::string> Ticked(const TfrmProperties& page) {
        std::vector<std::string> names;
        for (int i = 0; i < page.listview->topLevelItemCount(); ++i)
            if (page.listview->topLevelItem(i)->checkState(0) == Qt::Checked)
                names.push_back(page.listview->topLevelItem(i)->text(0).toStdString());
        return names;
    }
    static void Save(QWidget& page, const char* name) {
        page.show();
        QApplication::processEvents();
        EXPECT_TRUE(page.grab().save(QString(TOLVER_PNG_DIR "/") + name));
    }
};

TEST_F(VoraPage, OpensWithTheReportsChoice) {
    auto page = Open("3:0:Газ\r\nштрафы гибдд\r\n");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->size(), QSize(384, 378));
    EXPECT_TRUE(page->rb3->isChecked());
    EXPECT_EQ(report->Mode, 3);
    EXPECT_EQ(Ticked(*page), (std::vector<std::string>{"Газ", "Штрафы ГИБДД"}));
    EXPECT_EQ(page->listview->topLevelItem(0)->text(0).toStdString(), "Вода");  // sorted
    Save(*page, "vora_properties_mode3.png");

    page = Open("1:0:Газ\r\n");
    EXPECT_TRUE(page->rb1->isChecked());
    EXPECT_EQ(report->Mode, 1);
    EXPECT_EQ(report->ChosenNames.Count(), 0);
    EXPECT_TRUE(Ticked(*page).empty());
    Save(*page, "vora_properties_mode1.png");

    page = Open("7:0:");
    EXPECT_TRUE(page->rb0->isChecked());
    EXPECT_EQ(report->Mode, 0);
}

TEST_F(VoraPage, TickingNamesChoosesThemAndUntickingTheLastGoesBackToTheLastButton) {
    auto page = Open("0:0:");
    ASSERT_TRUE(page);
    page->rb2->click();
    EXPECT_EQ(report->Mode, 2);
    EXPECT_EQ(page->LastButton, page->rb2);

    QTreeWidgetItem* gas = page->listview->findItems("Газ", Qt::MatchExactly).value(0);
    QTreeWidgetItem* water = page->listview->findItems("Вода", Qt::MatchExactly).value(0);
    ASSERT_TRUE(gas && water);
    gas->setCheckState(0, Qt::Checked);
    water->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(page->rb3->isChecked());
    EXPECT_EQ(report->GetProperties(), "3:0:Вода\r\nГаз\r\n");

    water->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(report->GetProperties(), "3:0:Газ\r\n");
    gas->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(page->rb2->isChecked());
    EXPECT_EQ(report->GetProperties(), "2:0:");

    // Choosing a button other than "По выбору" unticks every name.
    gas->setCheckState(0, Qt::Checked);
    page->rb1->click();
    EXPECT_TRUE(Ticked(*page).empty());
    EXPECT_EQ(report->GetProperties(), "1:0:");
}

TEST_F(VoraPage, ThePageKeepsItsReportAlive) {
    auto page = Open("3:0:Газ\r\n");
    report.reset();  // the host lets go of the report first
    page->rb0->setChecked(true);
    EXPECT_EQ(page->Report().Mode, 0);
}

}  // namespace
}  // namespace tolver

TOLVER_GUI_TEST_MAIN()
