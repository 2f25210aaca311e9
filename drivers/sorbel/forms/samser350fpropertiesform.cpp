#include "drivers/sorbel/forms/samser350fpropertiesform.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "drivers/contract/framecontrols.h"
#include "drivers/sorbel/settings/samser350fgl.h"
#include "drivers/sorbel/settings/samser350fsettings.h"

namespace tolver {

TfrmSamsER350FProperties::TfrmSamsER350FProperties() {
    using namespace framecontrols;
    setObjectName("frmSamsER350FProperties");
    setFont(FrameFont(font()));
    resize(kWidth, kHeight);

    seditWaitCheckOutPrint = SpinEdit("seditWaitCheckOutPrint", 10, 2000, 50);
    seditWaitCheckOutLongPrint = SpinEdit("seditWaitCheckOutLongPrint", 10, 5000, 50);
    comboPriority = DropDownList("comboPriority");
    comboModel = DropDownList("comboModel");
    comboCheckKeyMode = DropDownList("comboCheckKeyMode");
    comboCheckKeyMode->addItems({"Перед каждой командой (рекомендуемый режим)", "Перед каждой операцией"});

    auto* timeouts =
        TimeoutsGroup("Тайм-ауты окончания печати (мсек)", seditWaitCheckOutPrint, seditWaitCheckOutLongPrint);

    auto* note = HintLabel("lNote",
        "Величины тайм-аутов и приоритета обмена подбираются опытным путем, увеличение тайм-аутов ведет к "
        "замедлению печати чеков, а уменьшение - к снижению надежности работы; рекомендуются тайм-ауты 400-600 "
        "мсек для чека и 2000 мсек для отчета, приоритет обмена - нормальный");

    auto* group = new QGroupBox("Протокол взаимодействия");
    group->setObjectName("gboxProtocol");
    auto* left = ExchangeColumn(timeouts, comboPriority);
    auto* g = new QGridLayout(group);
    g->setContentsMargins(4, 0, 4, 2);
    g->setVerticalSpacing(1);
    g->addLayout(left, 0, 0);
    g->addWidget(note, 0, 1, 2, 1);
    g->addWidget(new QLabel("Версия прошивки кассового аппарата:"), 1, 0);
    g->addWidget(comboModel, 2, 0, 1, 2);
    g->addWidget(new QLabel("Контроль положения ключа:"), 3, 0, 1, 2);
    g->addWidget(comboCheckKeyMode, 4, 0, 1, 2);
    g->setColumnStretch(0, 2);
    g->setColumnStretch(1, 3);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 0, 2, 0);
    outer->addWidget(group);

    // Only the user's choice counts as a change, not one made by PropertiesToControls.
    QObject::connect(comboModel, &QComboBox::activated, this, [this] { comboModelChange(); });
}

void TfrmSamsER350FProperties::FillLists() {
    comboModel->clear();
    for (int i = 0; i < kSamsER350FVersionCount; ++i) comboModel->addItem(QString::fromStdString(SamsER350FVersion(i)->VersionName));
    framecontrols::FillPriorities(comboPriority);
}

void TfrmSamsER350FProperties::PropertiesToControls() {
    if (!Settings) return;
    seditWaitCheckOutPrint->setValue(Settings->WaitCheckOutPrint);  // clamped to the range
    seditWaitCheckOutLongPrint->setValue(Settings->WaitCheckOutLongPrint);
    comboPriority->setCurrentIndex(Settings->Priority);  // an index past the list selects nothing
    comboModel->setCurrentIndex(Settings->Model);
    comboCheckKeyMode->setCurrentIndex(Settings->KeyCheckMode);
}

void TfrmSamsER350FProperties::ControlsToProperties() {
    if (!Settings) return;
    Settings->WaitCheckOutPrint = seditWaitCheckOutPrint->value();
    Settings->WaitCheckOutLongPrint = seditWaitCheckOutLongPrint->value();
    Settings->Priority = static_cast<std::uint8_t>(comboPriority->currentIndex());
    Settings->Model = static_cast<std::uint8_t>(comboModel->currentIndex());
    Settings->KeyCheckMode = static_cast<std::uint8_t>(comboCheckKeyMode->currentIndex());
}

void TfrmSamsER350FProperties::comboModelChange() {
    const int model = comboModel->currentIndex();
    if (Settings) Settings->Model = static_cast<std::uint8_t>(model);
    if (OnModelSelect) OnModelSelect(model);
}

}  // namespace tolver
