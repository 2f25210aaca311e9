#pragma once
// Small helpers of the driver's frames: controls made with their object names (the
// control names the host and the tests find them by) and the frames' font.

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QSpinBox>

namespace tolver::samscontrols {

// The frames are laid out for an 8-point face, as their designed sizes assume.
inline QFont FrameFont(QFont font) {
    font.setPointSize(8);
    return font;
}

inline QComboBox* DropDownList(const char* name) {
    auto* c = new QComboBox;
    c->setObjectName(name);
    c->setEditable(false);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(8);
    return c;
}

inline QCheckBox* CheckBox(const char* name, const char* caption) {
    auto* c = new QCheckBox(caption);
    c->setObjectName(name);
    return c;
}

inline QSpinBox* SpinEdit(const char* name, int min, int max, int step) {
    auto* e = new QSpinBox;
    e->setObjectName(name);
    e->setRange(min, max);
    e->setSingleStep(step);
    return e;
}

}  // namespace tolver::samscontrols
