#pragma once
// Version information of the system's own files. The values are compiled in (the
// build's version numbers) and looked up as in a version resource: the string Name
// of the block's first translation. Files that are not one of the system's
// deliverables (Spooler, Sorbel.csh, Dalvern.csh, Vora.rpt, Merrow.rpt, libtolver)
// have no block.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolver {

class TIVersionInfo {
public:
    // Loads the block of the file at once; a missing file has none.
    explicit TIVersionInfo(std::string fileName);

    const std::string& FileName() const { return fileName_; }
    bool Loaded() const { return !tables_.empty(); }

    // The value of the first translation, "" when there is no block or no such value.
    std::string GetString(std::string_view name) const;
    std::string FileVersion() const { return GetString("FileVersion"); }
    std::string LegalCopyright() const { return GetString("LegalCopyright"); }
    std::string ProductVersion() const { return GetString("ProductVersion"); }
    std::string ProductName() const { return GetString("ProductName"); }

private:
    struct Table {
        std::string translation;  // language and code page as 8 hexadecimal digits
        std::vector<std::pair<std::string, std::string>> strings;
    };

    std::string fileName_;
    std::vector<Table> tables_;
};

}  // namespace tolver
