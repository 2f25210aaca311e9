#include "drivers/dalvern/forms/regfisc2160propertiesform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "drivers/contract/framecontrols.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"

namespace tolver {

TfrmRegFisc2160Properties::TfrmRegFisc2160Properties() {
    using namespace framecontrols;
    setObjectName("frmRegFisc2160Properties");
    setFont(FrameFont(font()));
    resize(kWidth, kHeight);

    seditWaitCheckOutPrint = SpinEdit("seditWaitCheckOutPrint", 1, 60);
    seditWaitCheckOutLongPrint = SpinEdit("seditWaitCheckOutLongPrint", 10, 90);
    comboPriority = DropDownList("comboPriority");
    cbIgnoreReplyFormatError =
        CheckBox("cbIgnoreReplyFormatError", "Игнорировать ошибку формата ответа на команду");
    lModelStr = new QLabel("неопределенная");
    lModelStr->setObjectName("lModelStr");

    auto* timeouts =
        TimeoutsGroup("Тайм-ауты окончания печати (сек)", seditWaitCheckOutPrint, seditWaitCheckOutLongPrint);

    auto* note = HintLabel("lNote",
                           "Величины тайм-аутов и приоритета обмена подбираются опытным путем; рекомендуются "
                           "тайм-ауты 5 сек для чека и 30 сек для отчета, приоритет обмена - нормальный");

    auto* left = ExchangeColumn(timeouts, comboPriority);

    auto* version = new QHBoxLayout;
    version->setSpacing(6);
    version->addWidget(new QLabel("Версия прошивки:"));
    version->addWidget(lModelStr, 1);

    auto* group = new QGroupBox("Протокол взаимодействия");
    group->setObjectName("gboxProtocol");
    auto* g = new QGridLayout(group);
    g->setContentsMargins(4, 0, 4, 2);
    g->setVerticalSpacing(2);
    g->addLayout(left, 0, 0);
    g->addWidget(note, 0, 1);
    g->addWidget(cbIgnoreReplyFormatError, 1, 0, 1, 2);
    g->addLayout(version, 2, 0, 1, 2);
    g->setColumnStretch(0, 2);
    g->setColumnStretch(1, 3);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 0, 2, 0);
    outer->addWidget(group);
}

void TfrmRegFisc2160Properties::FillPriorities() { framecontrols::FillPriorities(comboPriority); }

void TfrmRegFisc2160Properties::PropertiesToForm() {
    if (FirmwareText) lModelStr->setText(QString::fromStdString(FirmwareText()));
    if (!Settings) return;
    seditWaitCheckOutPrint->setValue(Settings->WaitCheckOutPrint);  // clamped to the range
    seditWaitCheckOutLongPrint->setValue(Settings->WaitCheckOutLongPrint);
    comboPriority->setCurrentIndex(Settings->Priority);  // an index past the list selects nothing
    cbIgnoreReplyFormatError->setChecked(Settings->IgnoreReplyFormatError);
}

void TfrmRegFisc2160Properties::FormToProperties() {
    if (!Settings) return;
    Settings->WaitCheckOutPrint = seditWaitCheckOutPrint->value();
    Settings->WaitCheckOutLongPrint = seditWaitCheckOutLongPrint->value();
    // A list without a selection keeps the priority the settings hold.
    if (comboPriority->currentIndex() >= 0) Settings->Priority = static_cast<std::uint8_t>(comboPriority->currentIndex());
    Settings->IgnoreReplyFormatError = cbIgnoreReplyFormatError->isChecked();
}

}  // namespace tolver
