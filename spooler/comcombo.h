#pragma once
// The serial-port picker of the connection dialog: items "Com1" to "Com8", each with
// a small port picture; with OnlyPresent the ports whose device does not open are
// left out. A port number is read back from the item's fourth character, so only
// single-digit ports can be chosen.

#include <QComboBox>
#include <QPixmap>

#include <cstdint>

namespace tolver {

class TComCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TComCombo(QWidget* parent = nullptr);

    // Whether port N's device (platform/serial ComDevicePath) opens for reading and
    // writing. A port that another program, or this spooler's own driver, holds still
    // exists: the live port must stay in the list or the dialog would store another.
    virtual bool PortExists(std::uint8_t N);
    // "Com1" to "Com8"; with OnlyPresent only the ports that exist.
    void FillPorts(bool OnlyPresent);
    bool OnlyPresent() const { return onlyPresent_; }
    // 0 when nothing is shown, else the fourth character of the text as a digit.
    std::int32_t GetPortNumber() const;
    // Selects the first item of port N; without one the selection stays.
    void SetPortNumber(std::int32_t N);

    // The "COMPORT" picture.
    static QPixmap PortBitmap();

private:
    bool onlyPresent_ = false;
};

}  // namespace tolver
