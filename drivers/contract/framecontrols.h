#pragma once
// What the drivers' settings frames share: controls made with their object names
// (the names the host and the tests find them by), the frames' font, the navy hint
// label, and the names of the exchange priorities (0 idle to 6 time critical).

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QStyleOption>
#include <QVBoxLayout>

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

// A check box whose caption wraps onto further lines where the width ends, for the
// captions longer than a frame is wide. Its text is its caption as set.
class TWrapCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        return std::max(IndicatorSize().height(), TextRect(QRect(0, 0, width, 1 << 16)).height());
    }
    QSize sizeHint() const override {
        const QSize one = fontMetrics().size(Qt::TextShowMnemonic, text());
        return {TextLeft() + one.width() + 2, std::max(IndicatorSize().height(), one.height())};
    }
    // At least three fifths of the caption's width, so that it takes two lines.
    QSize minimumSizeHint() const override {
        const int width = TextLeft() + fontMetrics().size(Qt::TextShowMnemonic, text()).width() * 3 / 5 + 2;
        return {width, heightForWidth(width)};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        opt.rect = QRect(QPoint(0, 0), IndicatorSize());
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, this);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        const QRect textRect = TextRect(rect());
        p.drawText(textRect, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = textRect.adjusted(-1, 0, 1, 0);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QSize IndicatorSize() const {
        return {style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this),
                style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this)};
    }
    int TextLeft() const {
        return IndicatorSize().width() + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
    }
    QRect TextRect(const QRect& box) const {
        const QRect area(box.left() + TextLeft(), box.top(), std::max(1, box.width() - TextLeft()), box.height());
        return fontMetrics().boundingRect(area, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text());
    }
};

inline QCheckBox* WrapCheckBox(const char* name, const char* caption) {
    auto* c = new TWrapCheckBox(caption);
    c->setObjectName(name);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    c->setSizePolicy(policy);
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

// The protocol's left column: the print-end waits over the exchange priority.
inline QVBoxLayout* ExchangeColumn(QGroupBox* timeouts, QComboBox* priority) {
    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(timeouts);
    column->addWidget(new QLabel("Приоритет обмена:"));
    column->addWidget(priority);
    column->addStretch();
    return column;
}

// Empties the list and adds the seven priority names; the item index is the priority.
inline void FillPriorities(QComboBox* combo) {
    combo->clear();
    for (const char* name : {"Холостой", "Низший", "Низкий", "Нормальный", "Высокий", "Высший", "Реального времени"})
        combo->addItem(name);
}

}  // namespace tolver::framecontrols
