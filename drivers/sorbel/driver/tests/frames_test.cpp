// The frames of a new Sorbel driver object offscreen: the advanced frame fitting its
// size on every firmware row after Init, and a picture of each frame in the build tree.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <string>
#include <vector>

#include "drivers/contract/driverinfoform.h"
#include "drivers/sorbel/driver/tests/sorbel_fixture.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "drivers/sorbel/forms/tests/captions.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;

namespace {

using sorbeltest::Captions;

class FramePictures : public RegistryTest {};

// Every visible caption and list of a frame laid out at its size: inside the frame,
// a check box or a single-line label as wide as its text, a wrapped label as high as
// its text, a list as wide as its longest entry. Returns what does not fit.
std::vector<std::string> CutTexts(QWidget& frame) {
    std::vector<std::string> cut;
    const QRect inside(QPoint(0, 0), frame.size());
    for (QWidget* w : frame.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&frame)) continue;
        const QRect at(w->mapTo(&frame, QPoint(0, 0)), w->size());
        const std::string name = w->objectName().toStdString();
        if ((qobject_cast<QCheckBox*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLabel*>(w)) && !inside.contains(at))
            cut.push_back(name + " outside the frame");
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            const bool fits = box->hasHeightForWidth() ? box->height() >= box->heightForWidth(box->width())
                                                       : box->width() >= box->sizeHint().width();
            if (!fits) cut.push_back(box->text().toStdString());
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool fits = label->wordWrap() ? label->height() >= label->heightForWidth(label->width())
                                                : label->width() >= label->sizeHint().width();
            if (!fits) cut.push_back(label->text().toStdString());
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            int longest = 0;
            for (int i = 0; i < combo->count(); ++i)
                longest = std::max(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
            // With room for the list's frame and arrow, as the style draws them.
            QStyleOptionComboBox opt;
            opt.initFrom(combo);
            const int needed =
                combo->style()->sizeFromContents(QStyle::CT_ComboBox, &opt, QSize(longest, combo->height()), combo).width();
            if (combo->width() + 1 < needed) cut.push_back(name + " narrower than its longest entry");  // a pixel of rounding
        }
    }
    return cut;
}

// After Init on every firmware row, the advanced frame keeps its designed size and
// every text in it stays readable.
TEST_F(FramePictures, TheAdvancedFrameFitsItsSizeOnEveryRow) {
    for (int model = 0; model < 4; ++model) {
        SCOPED_TRACE(model);
        sorbeltest::SorbelOnFakeLine s;
        std::string cause;
        std::int32_t v = 0;
        ASSERT_EQ(s->Init(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 400, 2000, model, 0, 3}), &cause, &v), S_OK);
        ASSERT_EQ(v, 0) << cause;
        TfrmSamsER350FAdvProperties& f = *s.Driver().AdvPropertiesFrame();
        f.PropertiesToControls();
        EXPECT_LE(f.minimumSizeHint().width(), TfrmSamsER350FAdvProperties::kWidth);
        EXPECT_LE(f.minimumSizeHint().height(), TfrmSamsER350FAdvProperties::kHeight);
        f.resize(TfrmSamsER350FAdvProperties::kWidth, TfrmSamsER350FAdvProperties::kHeight);
        f.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.size(), QSize(TfrmSamsER350FAdvProperties::kWidth, TfrmSamsER350FAdvProperties::kHeight));
        EXPECT_EQ(CutTexts(f), std::vector<std::string>{});
        EXPECT_TRUE(f.grab().save(QString(FRAME_PICTURE_DIR) + QString("/TfrmSamsER350FAdvProperties-row%1.png").arg(model)));
        f.hide();
    }
}

// ---- pictures -------------------------------------------------------------------------


// Each frame of a new driver object rendered offscreen into the build tree. A frame
// drawn with empty boxes (no fonts) would have hardly any dark pixels.
TEST_F(FramePictures, EachFrameRendersItsText) {
    sorbeltest::SorbelOnFakeLine s;
    const std::vector<std::pair<QWidget*, const char*>> frames = {
        {s.Driver().PropertiesFrame(), "TfrmSamsER350FProperties.png"},
        {s.Driver().AdvPropertiesFrame(), "TfrmSamsER350FAdvProperties.png"},
        {s.Driver().InfoFrame(), "TfrmDriverInfo.png"},
    };
    for (const auto& [frame, file] : frames) {
        SCOPED_TRACE(file);
        ASSERT_NE(frame, nullptr);
        const QImage image = frame->grab().toImage();
        EXPECT_EQ(image.size(), frame->size());
        const QString path = QString(FRAME_PICTURE_DIR) + "/" + file;
        EXPECT_TRUE(image.save(path));
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
        EXPECT_GT(dark, 150);
    }
    // A new driver's advanced frame shows the texts of the basic settings' model.
    EXPECT_EQ(s.Driver().Settings().Model, 2);
    EXPECT_EQ(s.Driver().AdvPropertiesFrame()->lSysCond8->text().toStdString(), "8. Передача копии печати на ПК:");
    EXPECT_FALSE(s.Driver().AdvPropertiesFrame()->cboxBlockKeyb->isHidden());
    EXPECT_EQ(s.Driver().InfoFrame()->size(), QSize(320, 184));
    EXPECT_TRUE(Captions(*s.Driver().InfoFrame()).count("Окно отладки!"));
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
