#pragma once
// The protocol settings page of the "РФ 2160" driver: print-end waits, the exchange priority, the choice
// for malformed replies, and the firmware version the register reported. The driver
// owns the frame and its settings object; the host docks the frame into its
// connection dialog. The logic sits in plain methods that tests drive offscreen.

#include <functional>
#include <string>

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace tolver {

class TCashRegFisc2160DriverProperties;

class TfrmRegFisc2160Properties : public QFrame {
public:
    static constexpr int kWidth = 399;
    static constexpr int kHeight = 222;

    TfrmRegFisc2160Properties();

    // The settings object the frame edits (not owned).
    TCashRegFisc2160DriverProperties* Settings = nullptr;
    // The firmware text of the last identification (empty before the first one).
    std::function<std::string()> FirmwareText;

    void FillPriorities();
    void PropertiesToForm();
    // The version label is display only.
    void FormToProperties();

    QSpinBox* seditWaitCheckOutPrint;
    QSpinBox* seditWaitCheckOutLongPrint;
    QComboBox* comboPriority;
    QCheckBox* cbIgnoreReplyFormatError;
    QLabel* lModelStr;
};

}  // namespace tolver
