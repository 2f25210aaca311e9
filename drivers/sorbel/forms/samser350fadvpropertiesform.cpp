#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include <array>

#include "drivers/contract/framecontrols.h"
#include "drivers/sorbel/settings/samser350fgl.h"
#include "drivers/sorbel/settings/samser350fsettings.h"

namespace tolver {
namespace {

const char* const kRounding[] = {
    "Не выполнять Европейское округление. Увеличение/отбрасывание",
    "Не выполнять Европейское округление. Отбрасывание",
    "Не выполнять Европейское округление. В большую сторону",
    "Выполнять Европейское округление. Увеличение/отбрасывание",
    "Выполнять Европейское округление. Отбрасывание",
    "Выполнять Европейское округление. В большую сторону",
};
const char* const kCashierModes[] = {"Постоянная работа", "Блокирование кассы после каждой операции"};

// The control of each system mode, by number: a check box for a switch, a list for a
// choice.
std::array<QWidget*, kSysCondCount> SysCondControls(const TfrmSamsER350FAdvProperties& f) {
    return {f.cboxSysCond1, f.cboxSysCond2, f.cboxSysCond3, f.comboSysCond4, f.cboxSysCond5,
            f.cboxSysCond6, f.comboSysCond7, f.comboSysCond8, f.cboxSysCond9};
}

// A switch's value 0 means "on": it shows checked for 0. A list shows the entry of the
// value's index (an index past the list selects nothing).
void ShowSysCond(QWidget* control, std::uint8_t value) {
    if (auto* box = qobject_cast<QCheckBox*>(control))
        box->setChecked(value == 0);
    else
        static_cast<QComboBox*>(control)->setCurrentIndex(value);
}

std::uint8_t ReadSysCond(const QWidget* control) {
    if (const auto* box = qobject_cast<const QCheckBox*>(control)) return box->isChecked() ? 0 : 1;
    return static_cast<std::uint8_t>(static_cast<const QComboBox*>(control)->currentIndex());
}

}  // namespace

TfrmSamsER350FAdvProperties::TfrmSamsER350FAdvProperties() {
    using namespace framecontrols;
    setObjectName("frmSamsER350FAdvProperties");
    setFont(FrameFont(font()));
    resize(kWidth, kHeight);

    cboxSysCond1 = CheckBox("cboxSysCond1", "1. Не печатать нулевые итоги");
    cboxSysCond2 = CheckBox("cboxSysCond2", "2. Печатать промежуточные итоги");
    cboxSysCond3 = CheckBox("cboxSysCond3", "3. Декларация денежного ящика");
    comboSysCond4 = DropDownList("comboSysCond4");
    // Its caption on rows 1 to 3 is longer than the frame is wide: it wraps.
    cboxSysCond5 = WrapCheckBox("cboxSysCond5", "5. Разрешить послеоплату");
    cboxSysCond6 = CheckBox("cboxSysCond6", "6. Получение наличных по чеку ");
    comboSysCond7 = DropDownList("comboSysCond7");
    lSysCond8 = new QLabel("8. Количество сток между чеками:");
    lSysCond8->setObjectName("lSysCond8");
    comboSysCond8 = DropDownList("comboSysCond8");
    cboxSysCond9 = WrapCheckBox("cboxSysCond9", "9. Печать сообщения \"ОТКРЫТЫЙ ЯЩИК\" при нажатии клавиши \"#\"");
    cboxBlockKeyb = CheckBox("cboxBlockKeyb", "Блокировать клавиатуру на КА");

    auto* group = new QGroupBox("Системные режимы");
    group->setObjectName("gboxSysCond");
    // Nine modes and the lock in 229 pixels: the rows are as high as their text, the
    // rounding list takes the whole width under its label, and the labels of lists
    // 7 and 8 wrap beside lists as wide as their longest entries.
    const int line = QFontMetrics(font()).height() + 2;
    auto* lSysCond4 = new QLabel("4. Способ округления:");
    auto* lSysCond7 = new QLabel("7. Режим работы кассира:");
    for (QLabel* label : {lSysCond7, lSysCond8}) label->setWordWrap(true);
    for (QWidget* w : std::initializer_list<QWidget*>{cboxSysCond1, cboxSysCond2, cboxSysCond3, cboxSysCond6,
                                                      cboxBlockKeyb, lSysCond4})
        w->setMaximumHeight(line);
    for (QComboBox* combo : {comboSysCond4, comboSysCond7, comboSysCond8}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        combo->setMaximumHeight(line + 4);
    }
    const auto labelled = [](QLabel* label, QComboBox* combo) {
        auto* h = new QHBoxLayout;
        h->setSpacing(6);
        h->addWidget(label, 1);
        h->addWidget(combo);
        return h;
    };

    auto* g = new QVBoxLayout(group);
    g->setSpacing(0);
    g->setContentsMargins(4, 0, 4, 1);
    g->addWidget(cboxSysCond1);
    g->addWidget(cboxSysCond2);
    g->addWidget(cboxSysCond3);
    g->addWidget(lSysCond4);
    g->addWidget(comboSysCond4);
    g->addWidget(cboxSysCond5);
    g->addWidget(cboxSysCond6);
    g->addLayout(labelled(lSysCond7, comboSysCond7));
    g->addLayout(labelled(lSysCond8, comboSysCond8));
    g->addWidget(cboxSysCond9);
    g->addStretch(1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 0, 2, 0);
    outer->setSpacing(0);
    outer->addWidget(group);
    outer->addWidget(cboxBlockKeyb);
}

void TfrmSamsER350FAdvProperties::FillLists(int model) {
    comboSysCond4->clear();
    for (const char* text : kRounding) comboSysCond4->addItem(text);
    comboSysCond7->clear();
    for (const char* text : kCashierModes) comboSysCond7->addItem(text);
    if (model == 0) {
        cboxSysCond5->setText("5. Разрешить послеоплату");
        lSysCond8->setText("8. Количество сток между чеками:");
    } else {
        cboxSysCond5->setText("5. НДС включен в цену (после смены режима перепрограммировать ставки НДС)");
        lSysCond8->setText("8. Передача копии печати на ПК:");
    }
    comboSysCond8->clear();
    if (const TCashDriverConstraints* v = SamsER350FVersion(model))
        for (const std::string& text : v->ModeChoices)
            if (!text.empty()) comboSysCond8->addItem(QString::fromStdString(text));
    // Filling a list selects its first entry; the lists start without a selection.
    for (QComboBox* combo : {comboSysCond4, comboSysCond7, comboSysCond8}) combo->setCurrentIndex(-1);
}

void TfrmSamsER350FAdvProperties::SetModel(int model) {
    if (model == 0)
        cboxBlockKeyb->setVisible(false);
    else if (model >= 1 && model <= 3)
        cboxBlockKeyb->setVisible(true);
    FillLists(model);
}

void TfrmSamsER350FAdvProperties::PropertiesToControls() {
    if (!Settings) return;
    const TCashSamsER350FDriverAdvProperties& s = *Settings;
    const auto controls = SysCondControls(*this);
    for (int n = 1; n <= kSysCondCount; ++n) ShowSysCond(controls[static_cast<std::size_t>(n - 1)], s.SysCond(n));
    cboxBlockKeyb->setChecked(s.BlockKeyboard);
}

void TfrmSamsER350FAdvProperties::ControlsToProperties() {
    if (!Settings) return;
    TCashSamsER350FDriverAdvProperties& s = *Settings;
    const auto controls = SysCondControls(*this);
    for (int n = 1; n <= kSysCondCount; ++n) s.SetSysCond(n, ReadSysCond(controls[static_cast<std::size_t>(n - 1)]));
    s.BlockKeyboard = cboxBlockKeyb->isChecked();
}

}  // namespace tolver
