#include "drivers/sorbel/pages/samser350finfoform.h"

#include <QLabel>
#include <QVBoxLayout>

#include "drivers/sorbel/pages/samser350fcontrols.h"

namespace tolver {

TfrmDriverInfo::TfrmDriverInfo() {
    setObjectName("frmDriverInfo");
    setFont(samscontrols::FrameFont(font()));
    resize(kWidth, kHeight);
    auto* label = new QLabel("Окно отладки!");
    label->setObjectName("lInfo");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addStretch();
}

}  // namespace tolver
