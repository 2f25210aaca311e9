#pragma once
// The advanced settings page of the Samsung ER-350F STU driver: the register's nine
// system modes and the keyboard lock. Most modes are check boxes that show the
// register's "on" value 0 as checked. Captions and the choices of mode 8 depend on
// the firmware version. The host docks the frame into its settings dialog.

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;

namespace tolver {

class TCashSamsER350FDriverAdvProperties;

class TfrmSamsER350FAdvProperties : public QFrame {
public:
    static constexpr int kWidth = 441;
    static constexpr int kHeight = 229;

    TfrmSamsER350FAdvProperties();

    // The settings object the frame edits (not owned).
    TCashSamsER350FDriverAdvProperties* Settings = nullptr;

    // Refills the three lists and sets the captions of modes 5 and 8 for the
    // firmware version; the lists are left without a selection.
    void FillLists(int model);
    // Model 0 hides the keyboard lock, models 1 to 3 show it, other values leave it
    // as it is; then FillLists.
    void SetModel(int model);
    void PropertiesToControls();
    // A list without a selection stores 255.
    void ControlsToProperties();

    QCheckBox* cboxSysCond1;
    QCheckBox* cboxSysCond2;
    QCheckBox* cboxSysCond3;
    QComboBox* comboSysCond4;
    QCheckBox* cboxSysCond5;
    QCheckBox* cboxSysCond6;
    QComboBox* comboSysCond7;
    QLabel* lSysCond8;
    QComboBox* comboSysCond8;
    QCheckBox* cboxSysCond9;
    QCheckBox* cboxBlockKeyb;
};

}  // namespace tolver
