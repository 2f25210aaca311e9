#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

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

// The register's value 0 means "on": those modes show checked for 0.
void ShowInverted(QCheckBox* box, std::uint8_t value) { box->setChecked(value == 0); }
std::uint8_t ReadInverted(const QCheckBox* box) { return box->isChecked() ? 0 : 1; }
std::uint8_t ReadIndex(const QComboBox* combo) { return static_cast<std::uint8_t>(combo->currentIndex()); }

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
    ShowInverted(cboxSysCond1, s.SysCond1);
    ShowInverted(cboxSysCond2, s.SysCond2);
    ShowInverted(cboxSysCond3, s.SysCond3);
    comboSysCond4->setCurrentIndex(s.SysCond4);  // an index past the list selects nothing
    ShowInverted(cboxSysCond5, s.SysCond5);
    ShowInverted(cboxSysCond6, s.SysCond6);
    comboSysCond7->setCurrentIndex(s.SysCond7);
    comboSysCond8->setCurrentIndex(s.SysCond8);
    ShowInverted(cboxSysCond9, s.SysCond9);
    cboxBlockKeyb->setChecked(s.BlockKeyboard);
}

void TfrmSamsER350FAdvProperties::ControlsToProperties() {
    if (!Settings) return;
    TCashSamsER350FDriverAdvProperties& s = *Settings;
    s.SysCond1 = ReadInverted(cboxSysCond1);
    s.SysCond2 = ReadInverted(cboxSysCond2);
    s.SysCond3 = ReadInverted(cboxSysCond3);
    s.SysCond4 = ReadIndex(comboSysCond4);
    s.SysCond5 = ReadInverted(cboxSysCond5);
    s.SysCond6 = ReadInverted(cboxSysCond6);
    s.SysCond7 = ReadIndex(comboSysCond7);
    s.SysCond8 = ReadIndex(comboSysCond8);
    s.SysCond9 = ReadInverted(cboxSysCond9);
    s.BlockKeyboard = cboxBlockKeyb->isChecked();
}

}  // namespace tolver
