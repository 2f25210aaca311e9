#include "drivers/sorbel/samser350finfoform.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tolver {

TfrmDriverInfo::TfrmDriverInfo() {
    setObjectName("frmDriverInfo");
    resize(kWidth, kHeight);
    auto* label = new QLabel("Окно отладки!");
    label->setObjectName("lInfo");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addStretch();
}

}  // namespace tolver
