#pragma once
// The firmware versions of the Samsung ER-350F STU: what each one holds (articles,
// cashiers, line widths), its item lists and the choices of its system mode 8.
// The setting Model selects the row.

#include <array>

namespace tolver {

struct TSamsER350FVersion {
    const char* VersionName;
    int MaxDep;
    int MaxArt;
    int MaxTax;
    int MaxOp;
    int Reserved1;
    int NameLength;
    int Reserved2;
    int HeaderLines;
    int FooterLines;
    int MsgLineWidth;
    const char* ProgramItems;
    const char* XReportItems;
    const char* ZReportItems;
    std::array<const char*, 5> ModeChoices;  // "" where unused
};

inline constexpr int kSamsER350FVersionCount = 4;

// The row of firmware version model, or nullptr when model is not 0..3.
const TSamsER350FVersion* SamsER350FVersion(int model);

}  // namespace tolver
