#pragma once
// The items a host chooses for GetXReport, GetZReport and GetProgram: 0-based
// positions in the firmware row's list, each followed by ";" ("0;2;"). Text that is
// no position chooses nothing.

#include <initializer_list>
#include <string>

#include "common/cashgl.h"

namespace tolver {

class TChosenItems {
public:
    explicit TChosenItems(const std::string& items) : list_(";" + items + ";") {}

    bool Has(int position) const { return InSemicolonList(list_, position); }
    bool Any(std::initializer_list<int> positions) const {
        for (const int p : positions)
            if (Has(p)) return true;
        return false;
    }
    // Whether any of the positions 0 .. count-1 is chosen.
    bool AnyBefore(int count) const {
        for (int p = 0; p < count; ++p)
            if (Has(p)) return true;
        return false;
    }

private:
    std::string list_;
};

}  // namespace tolver
