#pragma once
// The report host's shift, operator and period objects, as the report plug-ins read
// them. The host owns them and keeps them alive during a report call; a report keeps
// no reference to them after the call returns. Dates are day numbers (days since
// 1899-12-30, the time of day as the fraction).

#include <string>
#include <vector>

namespace tolver {

struct THostShift {
    double Start = 0;  // start of the shift (date and time)
    double End = 0;    // end of the shift (date and time)
    std::string OperatorName;
};

struct THostOperator {
    std::string Name;
    std::vector<THostShift> Shifts;  // the operator's shifts, oldest first
};

struct THostPeriod {
    double DateFrom = 0;
    double DateTo = 0;
};

}  // namespace tolver
