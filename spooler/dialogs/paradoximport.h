#pragma once
// The import of articles ("Plat.DB") and departments ("Dep.DB") from the Paradox
// tables of a previous installation, in the "Data" subfolder of the folder the user
// names. Each record is read whole before its item is made, so a failure leaves no
// half-filled item; the items of the records before it stay. Imported numbers are
// kept as they are, repeats included; the caller sorts the list afterwards.

#include <string>

#include "common/xtcollection.h"

namespace tolver {

struct TImportResult {
    bool Ok = true;
    int Added = 0;       // items appended to the list
    std::string Detail;  // what failed, for the log; the user sees the designed text
};

// Fields "Name", "NArt", "NDep", "NTax" into a list of TCashArtProperties.
TImportResult ImportArticles(const std::string& folder, TXtCollection& list);
// Fields "NDep", "NameDep", "NTax" into a list of TCashDepProperties.
TImportResult ImportDepartments(const std::string& folder, TXtCollection& list);

// The message box texts of a failed import.
std::string ImportErrorText(const std::string& fileName);
inline constexpr const char* kArticleTable = "Plat.DB";
inline constexpr const char* kDepartmentTable = "Dep.DB";

}  // namespace tolver
