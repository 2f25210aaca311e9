#include "spooler/dialogs/framedock.h"

#include <QLayout>
#include <QWidget>

#include "platform/com/framehandle.h"

namespace tolver {

QWidget* DockFrame(std::int32_t handle, QWidget* panel) {
    QWidget* frame = FrameFromHandle(handle);
    if (!frame) return nullptr;
    frame->setParent(panel);
    panel->layout()->addWidget(frame);
    frame->show();
    return frame;
}

void UndockFrame(QWidget* frame, QWidget* panel) {
    if (!frame) return;
    panel->layout()->removeWidget(frame);
    frame->hide();
    frame->setParent(nullptr);
}

}  // namespace tolver
