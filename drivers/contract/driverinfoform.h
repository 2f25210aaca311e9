#pragma once
// The information page of a driver (InfoForm): one label.

#include <QFrame>

namespace tolver {

class TfrmDriverInfo : public QFrame {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 184;

    TfrmDriverInfo();
};

}  // namespace tolver
