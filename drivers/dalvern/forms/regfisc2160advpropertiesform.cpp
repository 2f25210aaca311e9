#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "drivers/contract/framecontrols.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"

namespace tolver {

TfrmRegFisc2160AdvProperties::TfrmRegFisc2160AdvProperties() {
    using namespace framecontrols;
    setObjectName("frmRegFisc2160AdvProperties");
    setFont(FrameFont(font()));
    resize(kWidth, kHeight);

    const auto code = [](const char* name) {
        auto* e = new QLineEdit;
        e->setObjectName(name);
        e->setMaxLength(kCodeLength);
        return e;
    };
    editTaxCode = code("editTaxCode");
    editRegistrationCode = code("editRegistrationCode");
    cbOpenMoneyBox = CheckBox("cbOpenMoneyBox", "Открывать денежный ящик");
    cbTaxAccumulation = CheckBox("cbTaxAccumulation", "Накопление налогов");
    cbAutoCutOff = CheckBox("cbAutoCutOff", "Автоотрезчик выключен");

    auto* group = new QGroupBox("Параметры фискального режима");
    group->setObjectName("gboxFiscal");
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow("Код налогоплательщика:", editTaxCode);
    form->addRow("Регистрационный код:", editRegistrationCode);
    auto* g = new QVBoxLayout(group);
    g->setContentsMargins(4, 2, 4, 2);
    g->setSpacing(2);
    g->addLayout(form);
    g->addWidget(cbOpenMoneyBox);
    g->addWidget(cbTaxAccumulation);
    g->addWidget(cbAutoCutOff);
    g->addStretch();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 0, 2, 0);
    outer->addWidget(group);
}

void TfrmRegFisc2160AdvProperties::PropertiesToForm() {
    if (!Settings) return;
    editTaxCode->setText(QString::fromStdString(Settings->TaxCode));
    editRegistrationCode->setText(QString::fromStdString(Settings->RegistrationCode));
    cbOpenMoneyBox->setChecked(Settings->OpenMoneyBox);
    cbTaxAccumulation->setChecked(Settings->TaxAccumulation);
    cbAutoCutOff->setChecked(Settings->AutoCutOff);  // "cutter off" shows the setting as it is
}

void TfrmRegFisc2160AdvProperties::FormToProperties() {
    if (!Settings) return;
    Settings->TaxCode = editTaxCode->text().toStdString();
    Settings->RegistrationCode = editRegistrationCode->text().toStdString();
    Settings->OpenMoneyBox = cbOpenMoneyBox->isChecked();
    Settings->TaxAccumulation = cbTaxAccumulation->isChecked();
    Settings->AutoCutOff = cbAutoCutOff->isChecked();
}

}  // namespace tolver
