// The Dalvern frames and range dialogs offscreen: their controls, what they show
// and take back, and pictures of each in the build folder.
#include <gtest/gtest.h>

#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <set>
#include <string>

#include "drivers/dalvern/forms/cashdialogs.h"
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
