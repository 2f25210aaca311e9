#include "drivers/dalvern/forms/cashdialogs.h"

#include <QDate>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tolver {

QPoint BottomRightPlace(const QRect& screen, const QRect& desktop, const QSize& dialog) {
    return {screen.width() - dialog.width() - 20, desktop.height() - dialog.height() - 128};
}

TfrmCashRange::TfrmCashRange(const char* name, const char* caption) {
    setObjectName(name);
    setWindowTitle(caption);
    setModal(true);
    // A fixed dialog border: no resizing, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lInfo = new QLabel;
    lInfo->setObjectName("lInfo");
    lInfo->setWordWrap(true);
    bOk = new QPushButton("ОК");
    bOk->setObjectName("bOk");
    bOk->setDefault(true);
    bCancel = new QPushButton("Отмена");
    bCancel->setObjectName("bCancel");
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);  // Esc also rejects
}

void TfrmCashRange::Finish(const char* fromLabel, QWidget* from, const char* toLabel, QWidget* to) {
    auto* values = new QFormLayout;
    values->addRow(fromLabel, from);
    values->addRow(toLabel, to);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lInfo);
    layout->addLayout(values);
    layout->addStretch();
    layout->addLayout(buttons);
    lInfo->setMinimumWidth(300);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmCashRange::FormShow() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    move(BottomRightPlace(screen->geometry(), screen->availableGeometry(), frameGeometry().size()));
}

void TfrmCashRange::showEvent(QShowEvent* event) {
    FormActivate();
    QDialog::showEvent(event);
    FormShow();
}

TfrmCashDates::TfrmCashDates() : TfrmCashRange("frmCashDates", "Период") {
    const auto dateEdit = [](const char* name) {
        auto* e = new QDateEdit;
        e->setObjectName(name);
        e->setCalendarPopup(true);
        e->setDisplayFormat("dd.MM.yyyy");
        return e;
    };
    dateFrom = dateEdit("dateFrom");
    dateTo = dateEdit("dateTo");
    Finish("Начало:", dateFrom, "Конец:", dateTo);
}

void TfrmCashDates::FormActivate() {
    dateFrom->setDate(QDate::currentDate());
    dateTo->setDate(QDate::currentDate());
}

TfrmCashNs::TfrmCashNs() : TfrmCashRange("frmCashNs", "Интервал") {
    const auto spin = [](const char* name) {
        auto* e = new QSpinBox;
        e->setObjectName(name);
        e->setRange(0, kMaxNumber);
        return e;
    };
    seditNFrom = spin("seditNFrom");
    seditNTo = spin("seditNTo");
    Finish("C:", seditNFrom, "По:", seditNTo);  // the first label is a Latin C
}

void TfrmCashNs::FormActivate() {
    seditNFrom->setValue(1);
    seditNTo->setValue(1);
}

}  // namespace tolver
