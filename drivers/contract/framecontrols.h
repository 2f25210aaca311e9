#pragma once
// What the drivers' settings frames share: controls made with their object names
// (the names the host and the tests find them by), the frames' font, the navy hint
// label, and the names of the exchange priorities (0 idle to 6 time critical).

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>

namespace tolver::framecontrols {

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

inline QSpinBox* SpinEdit(const char* name, int min, int max, int step = 1) {
    auto* e = new QSpinBox;
    e->setObjectName(name);
    e->setRange(min, max);
    e->setSingleStep(step);
    return e;
}

// A word-wrapped advice in small navy letters.
inline QLabel* HintLabel(const char* name, const char* text) {
    auto* note = new QLabel(text);
    note->setObjectName(name);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette navy = note->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    note->setPalette(navy);
    QFont small = FrameFont(note->font());
    small.setPixelSize(8);
    note->setFont(small);
    return note;
}

// The print-end waits: the receipt's and the report's spin edits, labelled.
inline QGroupBox* TimeoutsGroup(const char* caption, QSpinBox* receipt, QSpinBox* report) {
    auto* box = new QGroupBox(caption);
    box->setObjectName("gboxTimeouts");
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(4, 0, 4, 2);
    grid->setVerticalSpacing(1);
    grid->addWidget(new QLabel("Чека:"), 0, 0);
    grid->addWidget(receipt, 0, 1);
    grid->addWidget(new QLabel("Отчета:"), 1, 0);
    grid->addWidget(report, 1, 1);
    return box;
}

// Empties the list and adds the seven priority names; the item index is the priority.
inline void FillPriorities(QComboBox* combo) {
    combo->clear();
    for (const char* name : {"Холостой", "Низший", "Низкий", "Нормальный", "Высокий", "Высший", "Реального времени"})
        combo->addItem(name);
}

}  // namespace tolver::framecontrols
