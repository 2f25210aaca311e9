#pragma once
// The fiscal-mode settings page of the "РФ 2160" driver: taxpayer and registration
// codes, the cash drawer, tax accumulation and the automatic cutter. The driver owns
// the frame and its settings object; the host docks it into its settings dialog.

#include <QFrame>

class QCheckBox;
class QLineEdit;

namespace tolver {

class TCashRegFisc2160DriverAdvProperties;

class TfrmRegFisc2160AdvProperties : public QFrame {
public:
    static constexpr int kWidth = 399;
    static constexpr int kHeight = 160;
    static constexpr int kCodeLength = 14;

    TfrmRegFisc2160AdvProperties();

    // The settings object the frame edits (not owned).
    TCashRegFisc2160DriverAdvProperties* Settings = nullptr;

    void PropertiesToForm();
    void FormToProperties();

    QLineEdit* editTaxCode;
    QLineEdit* editRegistrationCode;
    QCheckBox* cbOpenMoneyBox;
    QCheckBox* cbTaxAccumulation;
    QCheckBox* cbAutoCutOff;
};

}  // namespace tolver
