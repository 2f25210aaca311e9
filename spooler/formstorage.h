#pragma once
// Keeps a window's placement (and a few integers of its own, such as a splitter
// position) in the registry store under one key of HKEY_LOCAL_MACHINE: restored
// when the window is first shown, saved when it is hidden or closed. A placement
// that is missing or off every screen leaves the window where it is.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <string>

class QWidget;

namespace tolver {

class TFormStorage : public QObject {
    Q_OBJECT
public:
    TFormStorage(QWidget* form, std::string key);

    const std::string& Key() const { return key_; }
    void SetKey(std::string key) { key_ = std::move(key); }

    void RestorePlacement();
    // A stored placement was put on the window when it was first shown.
    bool Placed() const { return placed_; }
    void SavePlacement();
    // Extra values under the same key; a missing value reads as def.
    std::int32_t ReadInteger(const std::string& name, std::int32_t def) const;
    void WriteInteger(const std::string& name, std::int32_t value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> form_;
    std::string key_;
    bool restored_ = false;
    bool placed_ = false;
};

}  // namespace tolver
