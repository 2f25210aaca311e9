#include "spooler/formstorage.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/registry/registry.h"

namespace tolver {

TFormStorage::TFormStorage(QWidget* form, std::string key) : QObject(form), form_(form), key_(std::move(key)) {
    form->installEventFilter(this);
}

std::int32_t TFormStorage::ReadInteger(const std::string& name, std::int32_t def) const {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(key_, false) || reg.GetDataType(name) != RegDataType::DWord) return def;
        return reg.ReadInteger(name);
    } catch (const std::exception&) {
        return def;
    }
}

void TFormStorage::WriteInteger(const std::string& name, std::int32_t value) {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(key_, true)) reg.WriteInteger(name, value);
    } catch (const std::exception&) {
        // A placement that cannot be stored is not worth a message.
    }
}

void TFormStorage::RestorePlacement() {
    restored_ = true;
    if (!form_) return;
    const int left = ReadInteger("Left", INT32_MIN), top = ReadInteger("Top", INT32_MIN);
    const int width = ReadInteger("Width", -1), height = ReadInteger("Height", -1);
    if (left == INT32_MIN || top == INT32_MIN || width <= 0 || height <= 0) return;
    const QRect r(left, top, width, height);
    bool visible = false;
    for (const QScreen* s : QGuiApplication::screens()) visible = visible || s->availableGeometry().intersects(r);
    if (!visible) return;
    form_->resize(r.size().expandedTo(form_->minimumSize()));
    form_->move(r.topLeft());
    placed_ = true;
}

void TFormStorage::SavePlacement() {
    if (!form_) return;
    const QRect r = form_->geometry();
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(key_, true)) return;
        reg.WriteInteger("Left", r.left());
        reg.WriteInteger("Top", r.top());
        reg.WriteInteger("Width", r.width());
        reg.WriteInteger("Height", r.height());
    } catch (const std::exception&) {
    }
}

bool TFormStorage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_) {
        if (event->type() == QEvent::Show && !restored_) RestorePlacement();
        else if (event->type() == QEvent::Hide) SavePlacement();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tolver
