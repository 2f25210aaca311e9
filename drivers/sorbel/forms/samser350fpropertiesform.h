#pragma once
// The basic settings page of the Samsung ER-350F STU driver: print time-outs, the
// exchange priority, the register's firmware version and the key-position check
// mode. The driver owns the frame and its settings object; the host docks the frame
// into its connection dialog. The logic sits in plain methods so that tests drive
// it without a window on screen.

#include <functional>

#include <QFrame>

class QComboBox;
class QSpinBox;

namespace tolver {

class TCashSamsER350FDriverProperties;

class TfrmSamsER350FProperties : public QFrame {
public:
    static constexpr int kWidth = 399;
    static constexpr int kHeight = 222;

    TfrmSamsER350FProperties();

    // The settings object the frame edits (not owned).
    TCashSamsER350FDriverProperties* Settings = nullptr;
    // Called with the new model index when the user picks another firmware version.
    std::function<void(int)> OnModelSelect;

    // Fills comboModel with the firmware versions and comboPriority with the
    // priority names, both cleared first.
    void FillLists();
    void PropertiesToControls();
    // A list without a selection stores 255.
    void ControlsToProperties();
    // The user's choice in comboModel: Model takes it, then OnModelSelect.
    void comboModelChange();

    QSpinBox* seditWaitCheckOutPrint;
    QSpinBox* seditWaitCheckOutLongPrint;
    QComboBox* comboPriority;
    QComboBox* comboModel;
    QComboBox* comboCheckKeyMode;
};

}  // namespace tolver
