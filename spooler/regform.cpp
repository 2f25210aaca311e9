#include "spooler/regform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tolver {

TRegCheck CheckRegInput(const TCashOpProperties* selected, const std::string& typed, const std::string& password,
                        std::int32_t maxOp, TRegChoice& choice) {
    TRegChoice c;
    if (selected) {
        c = {selected->N, selected->Description, selected->Password};
    } else {
        bool ok = false;
        const int n = QString::fromStdString(typed).trimmed().toInt(&ok, 10);
        if (!ok || n < 1 || n > maxOp) return TRegCheck::BadNumber;
        c = {n, "", password};
    }
    if (password != c.Password) return TRegCheck::BadPassword;
    choice = c;
    return TRegCheck::Ok;
}

TfrmReg::TfrmReg(const TSpoolerSetup& setup, std::int32_t maxOp, QWidget* parent)
    : QDialog(parent), setup_(setup), maxOp_(maxOp) {
    setObjectName("frmReg");
    setWindowTitle("Регистрация кассира");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    comboOp = new QComboBox(this);
    comboOp->setObjectName("comboOp");
    comboOp->setEditable(true);
    comboOp->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < setup.OpList.Count(); ++i)
        if (const auto* op = setup.OpList.Item<TCashOpProperties>(i))
            comboOp->addItem(QString::fromStdString(op->Description), i);
    comboOp->setCurrentIndex(comboOp->count() > 0 ? 0 : -1);
    editPassword = new QLineEdit(this);
    editPassword->setObjectName("editPassword");
    editPassword->setEchoMode(QLineEdit::Password);
    editPassword->setStyleSheet("lineedit-password-character: 42");
    cbDoReports = new QCheckBox("Выполнять отчеты", this);
    cbDoReports->setObjectName("cbDoReports");
    cbDoReports->setChecked(true);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, QColor(200, 0, 0));
    Label1->setPalette(red);
    bOk = new QPushButton("OK", this);
    bOk->setObjectName("bOk");
    bOk->setDefault(true);
    bCancel = new QPushButton("Отмена", this);
    bCancel->setObjectName("bCancel");
    connect(bOk, &QPushButton::clicked, this, &TfrmReg::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    const auto clearError = [this] { Label1->clear(); };
    connect(comboOp, &QComboBox::editTextChanged, this, clearError);
    connect(editPassword, &QLineEdit::textChanged, this, clearError);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Кассир:", this), 0, 0);
    grid->addWidget(comboOp, 0, 1);
    grid->addWidget(new QLabel("Пароль:", this), 1, 0);
    grid->addWidget(editPassword, 1, 1);
    grid->addWidget(cbDoReports, 2, 1);
    grid->addWidget(Label1, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

bool TfrmReg::DoReports() const { return cbDoReports->isChecked(); }

const TCashOpProperties* TfrmReg::Selected() const {
    const int i = comboOp->currentIndex();
    if (i < 0 || comboOp->currentText() != comboOp->itemText(i)) return nullptr;
    return setup_.OpList.Item<TCashOpProperties>(comboOp->itemData(i).toInt());
}

void TfrmReg::accept() {
    switch (CheckRegInput(Selected(), comboOp->currentText().toStdString(), editPassword->text().toStdString(), maxOp_,
                          choice_)) {
        case TRegCheck::BadNumber:
            Label1->setText(kTextBadCashierNumber);
            comboOp->setFocus();
            return;
        case TRegCheck::BadPassword:
            Label1->setText(kTextBadCashierPassword);
            editPassword->setFocus();
            return;
        case TRegCheck::Ok: QDialog::accept(); return;
    }
}

}  // namespace tolver
