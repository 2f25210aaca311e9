// The Sorbel settings frames: their controls (names, ranges, captions, lists, the
// inverted check boxes) and the model-dependent texts.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <string>
#include <vector>

#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "drivers/sorbel/forms/tests/captions.h"
#include "drivers/sorbel/settings/samser350fsettings.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;

namespace {

std::vector<std::string> Items(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

using sorbeltest::Captions;

template <class T>
T* Control(const QWidget& frame, const char* name) {
    T* c = frame.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
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
        int mode;
    } inverted[] = {
        {"cboxSysCond1", 1}, {"cboxSysCond2", 2}, {"cboxSysCond3", 3},
        {"cboxSysCond5", 5}, {"cboxSysCond6", 6}, {"cboxSysCond9", 9},
    };
    for (const auto& e : inverted) {
        SCOPED_TRACE(e.name);
        QCheckBox* box = Control<QCheckBox>(f, e.name);
        ASSERT_NE(box, nullptr);
        for (const int value : {0, 1, 7}) {
            s.SetSysCond(e.mode, static_cast<std::uint8_t>(value));
            f.PropertiesToControls();
            EXPECT_EQ(box->isChecked(), value == 0);
        }
        box->setChecked(true);
        f.ControlsToProperties();
        EXPECT_EQ(s.SysCond(e.mode), 0);
        box->setChecked(false);
        f.ControlsToProperties();
        EXPECT_EQ(s.SysCond(e.mode), 1);
    }
    // The keyboard lock as it is; the lists by index.
    s.BlockKeyboard = true;
    s.SetSysCond(4, 5);
    s.SetSysCond(7, 1);
    s.SetSysCond(8, 4);
    f.PropertiesToControls();
    EXPECT_TRUE(f.cboxBlockKeyb->isChecked());
    EXPECT_EQ(f.comboSysCond4->currentIndex(), 5);
    EXPECT_EQ(f.comboSysCond7->currentIndex(), 1);
    EXPECT_EQ(f.comboSysCond8->currentIndex(), 4);
    f.cboxBlockKeyb->setChecked(false);
    f.comboSysCond4->setCurrentIndex(0);
    f.ControlsToProperties();
    EXPECT_FALSE(s.BlockKeyboard);
    EXPECT_EQ(s.SysCond(4), 0);
    EXPECT_EQ(s.SysCond(8), 4);

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
    EXPECT_EQ(s.SysCond(4), 255);
    EXPECT_EQ(s.SysCond(7), 255);
    EXPECT_EQ(s.SysCond(8), 255);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
