#include "drivers/skeleton/forms/skeletonforms.h"

#include "drivers/contract/framecontrols.h"
#include "drivers/skeleton/settings/skeletongl.h"

namespace tolver {

using namespace framecontrols;

TfrmSkeletonProperties::TfrmSkeletonProperties() {
    setObjectName("frmSkeletonProperties");
    setFont(FrameFont(font()));
    comboPriority = DropDownList("comboPriority");
    FillPriorities(comboPriority);
    (new QVBoxLayout(this))->addWidget(comboPriority);
}

void TfrmSkeletonProperties::PropertiesToControls() { comboPriority->setCurrentIndex(Settings->Priority); }

void TfrmSkeletonProperties::ControlsToProperties() {
    if (comboPriority->currentIndex() >= 0) Settings->Priority = static_cast<std::uint8_t>(comboPriority->currentIndex());
}

TfrmSkeletonAdvProperties::TfrmSkeletonAdvProperties() {
    setObjectName("frmSkeletonAdvProperties");
    setFont(FrameFont(font()));
    cbOpenMoneyBox = CheckBox("cbOpenMoneyBox", "Открывать денежный ящик");
    (new QVBoxLayout(this))->addWidget(cbOpenMoneyBox);
}

void TfrmSkeletonAdvProperties::PropertiesToControls() { cbOpenMoneyBox->setChecked(Settings->OpenMoneyBox); }

void TfrmSkeletonAdvProperties::ControlsToProperties() { Settings->OpenMoneyBox = cbOpenMoneyBox->isChecked(); }

}  // namespace tolver
