#pragma once
// The cashier sign-on dialog: a cashier picked from the settings' list (whose
// password must be typed) or a number typed in (with any password, which the
// register checks). Numbers run from 1 to the driver's MaxOp: cashier items are
// numbered from 1, and a cashier 0 would not be signed on again when the link
// returns.

#include <QDialog>

#include <cstdint>
#include <string>

#include "common/cashgl.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolver {

inline constexpr const char* kTextBadCashierNumber = "Неверный номер кассира";
inline constexpr const char* kTextBadCashierPassword = "Неверный пароль кассира";

struct TRegChoice {
    std::int32_t N = -1;
    std::string Name;
    std::string Password;
};

enum class TRegCheck { Ok, BadNumber, BadPassword };

// The test of the OK button: selected is the cashier item picked in the list (null
// when a number was typed), typed the combo's text, password the typed password.
TRegCheck CheckRegInput(const TCashOpProperties* selected, const std::string& typed, const std::string& password,
                        std::int32_t maxOp, TRegChoice& choice);

class TfrmReg : public QDialog {
    Q_OBJECT
public:
    TfrmReg(const TSpoolerSetup& setup, std::int32_t maxOp, QWidget* parent = nullptr);

    const TRegChoice& Choice() const { return choice_; }
    bool DoReports() const;

    QComboBox* comboOp;
    QLineEdit* editPassword;
    QCheckBox* cbDoReports;
    QPushButton* bOk;
    QPushButton* bCancel;
    QLabel* Label1;

public slots:
    void accept() override;

private:
    const TCashOpProperties* Selected() const;

    const TSpoolerSetup& setup_;
    std::int32_t maxOp_;
    TRegChoice choice_;
};

}  // namespace tolver
