// The Dalvern frames and range dialogs offscreen: their controls, what they show
// and take back, and pictures of each in the build folder.
#include <gtest/gtest.h>

#include <QDate>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <set>
#include <string>

#include "drivers/contract/driverinfoform.h"
#include "drivers/dalvern/forms/cashdialogs.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;

namespace {

std::set<std::string> Captions(const QWidget& w) {
    std::set<std::string> texts;
    for (const QLabel* l : w.findChildren<QLabel*>()) texts.insert(l->text().toStdString());
    for (const QPushButton* b : w.findChildren<QPushButton*>()) texts.insert(b->text().toStdString());
    return texts;
}

// Saves the widget's picture into the build folder; a picture drawn with empty boxes
// (no fonts) would have hardly any dark pixels.
void ExpectPicture(QWidget& w, const char* file) {
    SCOPED_TRACE(file);
    const QImage image = w.grab().toImage();
    EXPECT_TRUE(image.save(QString(FRAME_PICTURE_DIR) + "/" + file));
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 150);
}

TEST(PropertiesFrame, ShowsAndTakesBackTheProtocolSettings) {
    TCashRegFisc2160DriverProperties s;
    TfrmRegFisc2160Properties f;
    f.Settings = &s;
    f.FillPriorities();
    ASSERT_EQ(f.comboPriority->count(), 7);
    EXPECT_EQ(f.comboPriority->itemText(6).toStdString(), "Реального времени");
    EXPECT_EQ(f.lModelStr->text().toStdString(), "неопределенная");
    std::string firmware;
    f.FirmwareText = [&] { return firmware; };
    f.PropertiesToForm();
    EXPECT_EQ(f.comboPriority->currentText().toStdString(), "Нормальный");
    EXPECT_EQ(f.seditWaitCheckOutPrint->value(), 5);
    EXPECT_EQ(f.lModelStr->text().toStdString(), "");  // nothing identified yet in this process

    EXPECT_EQ(f.seditWaitCheckOutPrint->minimum(), 1);
    EXPECT_EQ(f.seditWaitCheckOutPrint->maximum(), 60);
    EXPECT_EQ(f.seditWaitCheckOutLongPrint->minimum(), 10);
    EXPECT_EQ(f.seditWaitCheckOutLongPrint->maximum(), 90);

    f.seditWaitCheckOutPrint->setValue(7);
    f.seditWaitCheckOutLongPrint->setValue(45);
    f.comboPriority->setCurrentIndex(6);
    f.cbIgnoreReplyFormatError->setChecked(true);
    firmware = "2160.01.02";
    f.FormToProperties();
    EXPECT_EQ(s.WaitCheckOutPrint, 7);
    EXPECT_EQ(s.WaitCheckOutLongPrint, 45);
    EXPECT_EQ(s.Priority, 6);
    EXPECT_TRUE(s.IgnoreReplyFormatError);
    f.PropertiesToForm();
    EXPECT_EQ(f.lModelStr->text().toStdString(), "2160.01.02");

    // Out-of-range stored values are shown clamped; an unknown priority selects none
    // and is not overwritten by the empty selection.
    s.WaitCheckOutPrint = 500;
    s.Priority = 9;
    f.PropertiesToForm();
    EXPECT_EQ(f.seditWaitCheckOutPrint->value(), 60);
    EXPECT_EQ(f.comboPriority->currentIndex(), -1);
    f.FormToProperties();
    EXPECT_EQ(s.Priority, 9);
}

TEST(AdvPropertiesFrame, ShowsAndTakesBackTheFiscalSettings) {
    TCashRegFisc2160DriverAdvProperties s;
    TfrmRegFisc2160AdvProperties f;
    f.Settings = &s;
    f.PropertiesToForm();
    EXPECT_EQ(f.editTaxCode->text().toStdString(), "");
    EXPECT_TRUE(f.cbOpenMoneyBox->isChecked());
    EXPECT_FALSE(f.cbTaxAccumulation->isChecked());
    EXPECT_FALSE(f.cbAutoCutOff->isChecked());
    EXPECT_EQ(f.editTaxCode->maxLength(), 14);
    EXPECT_EQ(f.editRegistrationCode->maxLength(), 14);
    EXPECT_EQ(f.cbAutoCutOff->text().toStdString(), "Автоотрезчик выключен");

    s.TaxCode = "1234567890";
    s.RegistrationCode = "Рег-77";
    s.AutoCutOff = true;  // not inverted: the box "cutter off" is checked
    f.PropertiesToForm();
    EXPECT_TRUE(f.cbAutoCutOff->isChecked());
    f.cbOpenMoneyBox->setChecked(false);
    f.cbTaxAccumulation->setChecked(true);
    f.editTaxCode->setText("42");
    TCashRegFisc2160DriverAdvProperties back;
    f.Settings = &back;
    f.FormToProperties();
    EXPECT_EQ(back.TaxCode, "42");
    EXPECT_EQ(back.RegistrationCode, "Рег-77");
    EXPECT_FALSE(back.OpenMoneyBox);
    EXPECT_TRUE(back.TaxAccumulation);
    EXPECT_TRUE(back.AutoCutOff);
}

TEST(FramePictures, EachFrameRendersItsText) {
    TCashRegFisc2160DriverProperties s;
    TfrmRegFisc2160Properties properties;
    properties.Settings = &s;
    properties.FillPriorities();
    properties.FirmwareText = [] { return std::string("неизвестная 2160.01.07    "); };
    properties.PropertiesToForm();
    TCashRegFisc2160DriverAdvProperties a;
    a.TaxCode = "12345678901234";
    TfrmRegFisc2160AdvProperties adv;
    adv.Settings = &a;
    adv.PropertiesToForm();
    TfrmDriverInfo info;
    ExpectPicture(properties, "TfrmRegFisc2160Properties.png");
    ExpectPicture(adv, "TfrmRegFisc2160AdvProperties.png");
    ExpectPicture(info, "TfrmDriverInfo.png");
    EXPECT_EQ(properties.size(), QSize(TfrmRegFisc2160Properties::kWidth, TfrmRegFisc2160Properties::kHeight));
}

TEST(RangeDialogs, ControlsAndCaptions) {
    TfrmCashDates dates;
    EXPECT_EQ(dates.windowTitle().toStdString(), "Период");
    EXPECT_TRUE(dates.bOk->isDefault());
    for (const char* text : {"Начало:", "Конец:", "ОК", "Отмена"}) EXPECT_TRUE(Captions(dates).count(text)) << text;
    EXPECT_TRUE(dates.lInfo->wordWrap());

    TfrmCashNs ns;
    EXPECT_EQ(ns.windowTitle().toStdString(), "Интервал");
    for (const char* text : {"C:", "По:", "ОК", "Отмена"}) EXPECT_TRUE(Captions(ns).count(text)) << text;
    EXPECT_EQ(ns.seditNFrom->maximum(), TfrmCashNs::kMaxNumber);
    EXPECT_EQ(ns.seditNTo->minimum(), 0);
}

// Every showing starts from today and from 1, whatever the last one ended with; OK
// and Cancel give the modal result, and the values stay readable after it.
TEST(RangeDialogs, EachShowingStartsAfreshAndReturnsTheAnswer) {
    TfrmCashDates dates;
    dates.lInfo->setText("Введите период дат для периодического отчета по датам фискальной памяти.");
    dates.dateFrom->setDate(QDate(2005, 3, 1));
    QTimer::singleShot(0, &dates, [&] {
        EXPECT_EQ(dates.dateFrom->date(), QDate::currentDate());
        EXPECT_EQ(dates.dateTo->date(), QDate::currentDate());
        dates.dateFrom->setDate(QDate(2005, 3, 1));
        ExpectPicture(dates, "TfrmCashDates.png");
        dates.bOk->click();
    });
    EXPECT_EQ(dates.exec(), QDialog::Accepted);
    EXPECT_EQ(dates.dateFrom->date(), QDate(2005, 3, 1));

    TfrmCashNs ns;
    ns.lInfo->setText("Введите интервал номеров для периодического отчета по номерам фискальной памяти.");
    ns.seditNTo->setValue(25);
    QTimer::singleShot(0, &ns, [&] {
        EXPECT_EQ(ns.seditNFrom->value(), 1);
        EXPECT_EQ(ns.seditNTo->value(), 1);
        ExpectPicture(ns, "TfrmCashNs.png");
        ns.bCancel->click();
    });
    EXPECT_EQ(ns.exec(), QDialog::Rejected);
}

TEST(RangeDialogs, SitsAtTheBottomRight) {
    EXPECT_EQ(BottomRightPlace(QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 738), QSize(300, 150)), QPoint(704, 460));
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
