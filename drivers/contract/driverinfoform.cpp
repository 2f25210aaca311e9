#include "drivers/contract/driverinfoform.h"

#include <QLabel>
#include <QVBoxLayout>

#include "drivers/contract/framecontrols.h"

namespace tolver {

TfrmDriverInfo::TfrmDriverInfo() {
    setObjectName("frmDriverInfo");
    setFont(framecontrols::FrameFont(font()));
    resize(kWidth, kHeight);
    auto* label = new QLabel("Окно отладки!");
    label->setObjectName("lInfo");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addStretch();
}

}  // namespace tolver
