#pragma once
// The serial-port picker of the connection dialog: items "Com1" to "Com8", each with
// a small port picture; with OnlyPresent the ports whose device does not open are
// left out. After them the serial adapters present (USB and ACM, by their stable
// /dev/serial/by-id names), each as the port it is stored under ("Com9: /dev/serial/
// by-id/…"), or the first free number from 9 up for one not stored yet. A port that
// is asked for and not listed (an absent adapter, COM12) is added as what it is.
// Each item carries its port number (and an adapter's item its device).

#include <QComboBox>
#include <QPixmap>

#include <cstdint>
#include <string>

namespace tolver {

class TComCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TComCombo(QWidget* parent = nullptr);

    // Whether port N's device (platform/serial ComDevicePath) opens for reading and
    // writing. A port that another program, or this spooler's own driver, holds still
    // exists: the live port must stay in the list or the dialog would store another.
    virtual bool PortExists(std::uint8_t N);
    // "Com1" to "Com8"; with OnlyPresent only the ports that exist. Then the adapters
    // of ListSerialDevices (devRoot, "/dev" unless tests say).
    void FillPorts(bool OnlyPresent);
    bool OnlyPresent() const { return onlyPresent_; }
    // 0 when nothing is shown, else the port number of the item shown.
    std::int32_t GetPortNumber() const;
    // The device of the adapter item shown, to be stored for its number; empty for
    // the other items.
    std::string GetPortDevice() const;
    // Selects the first item of port N; without one an item for port N is added,
    // naming its device and that it is absent or does not open, and selected. N 0
    // leaves the selection.
    void SetPortNumber(std::int32_t N);

    std::string devRoot = "/dev";

    // The "COMPORT" picture.
    static QPixmap PortBitmap();

private:
    void FitList();
    bool onlyPresent_ = false;
};

}  // namespace tolver
