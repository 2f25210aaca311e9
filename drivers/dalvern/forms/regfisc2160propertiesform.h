#pragma once
// The library's identity as the host's discovery sees it, and the protocol settings
// page of the "РФ 2160" driver: print-end waits, the exchange priority, the choice
// for malformed replies, and the firmware version the register reported. The driver
// owns the frame and its settings object; the host docks the frame into its
// connection dialog. The logic sits in plain methods that tests drive offscreen.

#include <cstdint>
#include <functional>
#include <string>

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace tolver {

class TCashDriverProperties;
class TCashRegFisc2160DriverProperties;

// What GetLibInfo and GetDefaultProperties report.
inline constexpr std::int32_t kDalvernCashType = 3;
inline constexpr const char* kDalvernProgId = "Dalvern.RegFisc2160CashDriverAuto";
inline constexpr const char* kDalvernName = "РФ 2160";

// CashType and AutoObjectName of this driver; nothing else changes.
void GetRegFisc2160DefaultProperties(TCashDriverProperties& properties);

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
