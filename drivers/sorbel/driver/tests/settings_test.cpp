// The Sorbel settings blobs and the three frames: their readers, their controls
// (names, ranges, captions, lists, the inverted check boxes), the model-dependent
// texts, and an offscreen picture of each frame in the build tree.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QCoreApplication>
#include <QLabel>
#include <QSpinBox>
#include <QStyleOptionComboBox>
#include <set>

#include "drivers/contract/driverinfoform.h"
#include "drivers/sorbel/driver/tests/sorbel_fixture.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/variant_read_error.h"

using namespace tolver;

namespace {

using testutil::ExpectReadError;

std::vector<std::string> Items(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

// Every caption a frame shows: labels, group boxes and check boxes.
std::set<std::string> Captions(const QWidget& w) {
    std::set<std::string> texts;
    for (const QLabel* l : w.findChildren<QLabel*>()) texts.insert(l->text().toStdString());
    for (const QGroupBox* g : w.findChildren<QGroupBox*>()) texts.insert(g->title().toStdString());
    for (const QCheckBox* c : w.findChildren<QCheckBox*>()) texts.insert(c->text().toStdString());
    return texts;
}

template <class T>
T* Control(const QWidget& frame, const char* name) {
    T* c = frame.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// ---- blobs ----------------------------------------------------------------------------

TEST(SettingsBlobs, BasicBlobLayoutAndReader) {
    TCashSamsER350FDriverProperties p;
    EXPECT_EQ(p.GetAsVariant(), VarArray({VarArray({0, "", ""}), 400, 2000, 2, 3, 0}));  // Model before Priority

    // Element 5 is optional: without it (or unconvertible) KeyCheckMode stays.
    p.KeyCheckMode = 1;
    p.SetFromVariant(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 500, 3000, 258, 5}));
    EXPECT_EQ(p.GetAsVariant(), VarArray({VarArray({1, "Sorbel.CashDriverAuto", ""}), 500, 3000, 2, 5, 1}));
    p.SetFromVariant(VarArray({VarArray({1, "x"}), 1, 2, 3, 4, "no number"}));
    EXPECT_EQ(p.KeyCheckMode, 1);
    p.SetFromVariant(VarArray({VarArray({1, "x"}), 1, 2, 3, 4, 0}));
    EXPECT_EQ(p.KeyCheckMode, 0);

    // High bound 3 is refused before anything is stored; a bad element stops there.
    TCashSamsER350FDriverProperties q;
    ExpectReadError(q, VarArray({VarArray({1, "x"}), 1, 2, 3}));
    ExpectReadError(q, Variant(5));
    EXPECT_EQ(q.WaitCheckOutPrint, 400);
    ExpectReadError(q, VarArray({VarArray({7, "y"}), 900, "slow", 3, 4}));
    EXPECT_EQ(q.CashType, 7);
    EXPECT_EQ(q.WaitCheckOutPrint, 900);
    EXPECT_EQ(q.WaitCheckOutLongPrint, 2000);

    TCashSamsER350FDriverProperties copy;
    copy.Assign(p);
    EXPECT_EQ(copy.GetAsVariant(), p.GetAsVariant());
}

TEST(SettingsBlobs, AdvancedBlobHasExactlyTenElements) {
    TCashSamsER350FDriverAdvProperties a;
    EXPECT_EQ(a.GetAsVariant(), VarArray({0, 0, 0, 0, 0, 0, 0, 3, 0, false}));
    a.SetFromVariant(VarArray({1, 0, 1, 5, 1, 0, 1, 4, 1, true}));
    EXPECT_EQ(a.GetAsVariant(), VarArray({1, 0, 1, 5, 1, 0, 1, 4, 1, true}));

    TCashSamsER350FDriverAdvProperties b;
    ExpectReadError(b, VarArray({1, 1, 1, 1, 1, 1, 1, 1, 1, true, 0}));  // high bound 10
    ExpectReadError(b, VarArray({1, 1, 1, 1, 1, 1, 1, 1, 1}));           // high bound 8
    EXPECT_EQ(b.SysCond1, 0);
    // Stored one by one: a bad element leaves the earlier ones loaded.
    ExpectReadError(b, VarArray({2, 2, 2, 2, 2, "x", 2, 2, 2, true}));
    EXPECT_EQ(b.SysCond5, 2);
    EXPECT_EQ(b.SysCond6, 0);
    EXPECT_EQ(b.SysCond8, 3);

    TCashSamsER350FDriverAdvProperties c;
    c.Assign(a);
    EXPECT_EQ(c.GetAsVariant(), a.GetAsVariant());
}

// ---- the basic frame ------------------------------------------------------------------

TEST(Frames, BasicFrameControls) {
    TCashSamsER350FDriverProperties s;
    TfrmSamsER350FProperties f;
    f.Settings = &s;
    f.FillLists();
    f.PropertiesToControls();
    EXPECT_EQ(f.size(), QSize(399, 222));

    const struct {
        const char* name;
        int min, max, step, value;
    } spins[] = {{"seditWaitCheckOutPrint", 10, 2000, 50, 400}, {"seditWaitCheckOutLongPrint", 10, 5000, 50, 2000}};
    for (const auto& e : spins) {
        const QSpinBox* spin = Control<QSpinBox>(f, e.name);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->minimum(), e.min) << e.name;
        EXPECT_EQ(spin->maximum(), e.max) << e.name;
        EXPECT_EQ(spin->singleStep(), e.step) << e.name;
        EXPECT_EQ(spin->value(), e.value) << e.name;
    }
    EXPECT_EQ(Items(Control<QComboBox>(f, "comboPriority")),
              (std::vector<std::string>{"Холостой", "Низший", "Низкий", "Нормальный", "Высокий", "Высший",
                                        "Реального времени"}));
    EXPECT_EQ(Items(Control<QComboBox>(f, "comboModel")),
              (std::vector<std::string>{"Версия 03 (<КОНТРОЛЬНА СУМА> <b1c1>)", "Версия 04 (ER-350F STU-04 К.С. <b15e>)",
                                        "Версия 05 (ER-350F STU-05 К.С. <5a26>)",
                                        "Версия 05.1 (ER-350F STU-05 К.С. <a333>)"}));
    EXPECT_EQ(Items(Control<QComboBox>(f, "comboCheckKeyMode")),
              (std::vector<std::string>{"Перед каждой командой (рекомендуемый режим)", "Перед каждой операцией"}));
    EXPECT_EQ(f.comboPriority->currentIndex(), 3);
    EXPECT_EQ(f.comboModel->currentIndex(), 2);
    EXPECT_EQ(f.comboCheckKeyMode->currentIndex(), 0);
    for (const char* caption :
         {"Протокол взаимодействия", "Тайм-ауты окончания печати (мсек)", "Чека:", "Отчета:", "Приоритет обмена:",
          "Версия прошивки кассового аппарата:", "Контроль положения ключа:",
          "Величины тайм-аутов и приоритета обмена подбираются опытным путем, увеличение тайм-аутов ведет к "
          "замедлению печати чеков, а уменьшение - к снижению надежности работы; рекомендуются тайм-ауты 400-600 "
          "мсек для чека и 2000 мсек для отчета, приоритет обмена - нормальный"})
        EXPECT_TRUE(Captions(f).count(caption)) << caption;

    // Values outside the spin edits' ranges are shown clamped and read back so; a
    // list without a selection reads as 255.
    s.WaitCheckOutPrint = 2500;
    s.WaitCheckOutLongPrint = 5;
    s.KeyCheckMode = 7;
    f.PropertiesToControls();
    f.comboPriority->setCurrentIndex(-1);
    f.ControlsToProperties();
    EXPECT_EQ(s.WaitCheckOutPrint, 2000);
    EXPECT_EQ(s.WaitCheckOutLongPrint, 10);
    EXPECT_EQ(s.Priority, 255);
    EXPECT_EQ(s.KeyCheckMode, 255);
    EXPECT_EQ(s.Model, 2);

    // The user's choice of model goes to the settings and to the handler at once;
    // a choice made by the program does not count.
    std::vector<int> chosen;
    f.OnModelSelect = [&](int m) { chosen.push_back(m); };
    s.Model = 0;
    f.PropertiesToControls();
    EXPECT_TRUE(chosen.empty());
    f.comboModel->setCurrentIndex(3);
    emit f.comboModel->activated(3);
    EXPECT_EQ(chosen, std::vector<int>{3});
    EXPECT_EQ(s.Model, 3);
}

// ---- the advanced frame ---------------------------------------------------------------

TEST(Frames, AdvancedFrameInvertedBoxesAndLists) {
    TCashSamsER350FDriverAdvProperties s;
    TfrmSamsER350FAdvProperties f;
    f.Settings = &s;
    f.FillLists(2);
    f.PropertiesToControls();
    EXPECT_EQ(f.size(), QSize(441, 229));

    // Check boxes of modes 1, 2, 3, 5, 6, 9 show the register's 0 as checked.
    const struct {
        const char* name;
        std::uint8_t TCashSamsER350FDriverAdvProperties::*field;
    } inverted[] = {
        {"cboxSysCond1", &TCashSamsER350FDriverAdvProperties::SysCond1},
        {"cboxSysCond2", &TCashSamsER350FDriverAdvProperties::SysCond2},
        {"cboxSysCond3", &TCashSamsER350FDriverAdvProperties::SysCond3},
        {"cboxSysCond5", &TCashSamsER350FDriverAdvProperties::SysCond5},
        {"cboxSysCond6", &TCashSamsER350FDriverAdvProperties::SysCond6},
        {"cboxSysCond9", &TCashSamsER350FDriverAdvProperties::SysCond9},
    };
    for (const auto& e : inverted) {
        SCOPED_TRACE(e.name);
        QCheckBox* box = Control<QCheckBox>(f, e.name);
        ASSERT_NE(box, nullptr);
        for (const int value : {0, 1, 7}) {
            s.*e.field = static_cast<std::uint8_t>(value);
            f.PropertiesToControls();
            EXPECT_EQ(box->isChecked(), value == 0);
        }
        box->setChecked(true);
        f.ControlsToProperties();
        EXPECT_EQ(s.*e.field, 0);
        box->setChecked(false);
        f.ControlsToProperties();
        EXPECT_EQ(s.*e.field, 1);
    }
    // The keyboard lock as it is; the lists by index.
    s.BlockKeyboard = true;
    s.SysCond4 = 5;
    s.SysCond7 = 1;
    s.SysCond8 = 4;
    f.PropertiesToControls();
    EXPECT_TRUE(f.cboxBlockKeyb->isChecked());
    EXPECT_EQ(f.comboSysCond4->currentIndex(), 5);
    EXPECT_EQ(f.comboSysCond7->currentIndex(), 1);
    EXPECT_EQ(f.comboSysCond8->currentIndex(), 4);
    f.cboxBlockKeyb->setChecked(false);
    f.comboSysCond4->setCurrentIndex(0);
    f.ControlsToProperties();
    EXPECT_FALSE(s.BlockKeyboard);
    EXPECT_EQ(s.SysCond4, 0);
    EXPECT_EQ(s.SysCond8, 4);

    EXPECT_EQ(Items(f.comboSysCond4),
              (std::vector<std::string>{"Не выполнять Европейское округление. Увеличение/отбрасывание",
                                        "Не выполнять Европейское округление. Отбрасывание",
                                        "Не выполнять Европейское округление. В большую сторону",
                                        "Выполнять Европейское округление. Увеличение/отбрасывание",
                                        "Выполнять Европейское округление. Отбрасывание",
                                        "Выполнять Европейское округление. В большую сторону"}));
    EXPECT_EQ(Items(f.comboSysCond7),
              (std::vector<std::string>{"Постоянная работа", "Блокирование кассы после каждой операции"}));
    for (const char* caption :
         {"Системные режимы", "1. Не печатать нулевые итоги", "2. Печатать промежуточные итоги",
          "3. Декларация денежного ящика", "4. Способ округления:", "6. Получение наличных по чеку ",
          "7. Режим работы кассира:", "9. Печать сообщения \"ОТКРЫТЫЙ ЯЩИК\" при нажатии клавиши \"#\"",
          "Блокировать клавиатуру на КА"})
        EXPECT_TRUE(Captions(f).count(caption)) << caption;
}

TEST(Frames, AdvancedFrameFollowsTheModel) {
    TCashSamsER350FDriverAdvProperties s;
    TfrmSamsER350FAdvProperties f;
    f.Settings = &s;
    f.FillLists(0);
    EXPECT_EQ(f.cboxSysCond5->text().toStdString(), "5. Разрешить послеоплату");
    EXPECT_EQ(f.lSysCond8->text().toStdString(), "8. Количество сток между чеками:");
    EXPECT_EQ(Items(f.comboSysCond8), (std::vector<std::string>{"1 строка", "1 строка", "2 строки", "3 строки"}));
    EXPECT_FALSE(f.cboxBlockKeyb->isHidden());

    f.SetModel(0);
    EXPECT_TRUE(f.cboxBlockKeyb->isHidden());
    f.SetModel(9);  // no row: the lock keeps its visibility, mode 8 has no choices
    EXPECT_TRUE(f.cboxBlockKeyb->isHidden());
    EXPECT_EQ(f.comboSysCond8->count(), 0);
    f.SetModel(3);
    EXPECT_FALSE(f.cboxBlockKeyb->isHidden());
    EXPECT_EQ(f.cboxSysCond5->text().toStdString(),
              "5. НДС включен в цену (после смены режима перепрограммировать ставки НДС)");
    EXPECT_EQ(f.lSysCond8->text().toStdString(), "8. Передача копии печати на ПК:");
    EXPECT_EQ(Items(f.comboSysCond8), (std::vector<std::string>{"Ничего", "Конец чека", "Конец чека", "Конец строки",
                                                                "Все (обязательный режим)"}));
    // The refilled lists have no selection until the settings are shown again.
    f.ControlsToProperties();
    EXPECT_EQ(s.SysCond4, 255);
    EXPECT_EQ(s.SysCond7, 255);
    EXPECT_EQ(s.SysCond8, 255);
}

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
