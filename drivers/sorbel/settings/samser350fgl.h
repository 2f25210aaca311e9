#pragma once
// The firmware versions of the Samsung ER-350F STU: what each one holds (articles,
// cashiers, line widths), its item lists and the choices of its system mode 8, one
// TCashDriverConstraints row each. The setting Model selects the row.

#include "common/cashgl.h"

namespace tolver {

inline constexpr int kSamsER350FVersionCount = 4;

// The row of firmware version model, or nullptr when model is not 0..3.
const TCashDriverConstraints* SamsER350FVersion(int model);

}  // namespace tolver
