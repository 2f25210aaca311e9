#pragma once
// The settings frames of the skeleton driver: the basic one (the exchange priority)
// and the advanced one (the cash drawer). The driver owns each frame and its settings
// object; the host docks the frames into its settings dialog.

#include <QFrame>

class QCheckBox;
class QComboBox;

namespace tolver {

class TCashSkeletonDriverProperties;
class TCashSkeletonDriverAdvProperties;

class TfrmSkeletonProperties : public QFrame {
public:
    TfrmSkeletonProperties();

    // The settings object the frame edits (not owned).
    TCashSkeletonDriverProperties* Settings = nullptr;

    void PropertiesToControls();
    void ControlsToProperties();

    QComboBox* comboPriority;
};

class TfrmSkeletonAdvProperties : public QFrame {
public:
    TfrmSkeletonAdvProperties();

    TCashSkeletonDriverAdvProperties* Settings = nullptr;

    void PropertiesToControls();
    void ControlsToProperties();

    QCheckBox* cbOpenMoneyBox;
};

}  // namespace tolver
