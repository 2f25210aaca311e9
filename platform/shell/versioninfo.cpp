#include "platform/shell/versioninfo.h"

#include <filesystem>
#include <system_error>

#include "platform/base/textcase.h"

namespace tolver {
namespace {

constexpr const char* kProductName = "Тольвер";
constexpr const char* kCompanyName = "Norvale";
constexpr const char* kLegalCopyright = "© Norvale";
constexpr const char* kTranslation = "041904E3";  // Russian, code page 1251

// The deliverable a file name belongs to, "" for none.
std::string Deliverable(const std::string& fileName) {
    const std::string name = std::filesystem::path(fileName).filename().string();
    for (const char* d : {"Spooler", "Sorbel.csh", "Dalvern.csh", "Vora.rpt", "Merrow.rpt"})
        if (name == d) return name;
    if (name.rfind("libtolver.so", 0) == 0) return name;
    return {};
}

}  // namespace

TIVersionInfo::TIVersionInfo(std::string fileName) : fileName_(std::move(fileName)) {
    std::error_code ec;
    const std::string name = Deliverable(fileName_);
    if (name.empty() || !std::filesystem::is_regular_file(fileName_, ec)) return;
    const std::string internal = std::filesystem::path(name).stem().string();
    tables_.push_back(Table{kTranslation,
                            {
                                {"CompanyName", kCompanyName},
                                {"FileVersion", TOLVER_FILE_VERSION},
                                {"InternalName", internal},
                                {"LegalCopyright", kLegalCopyright},
                                {"OriginalFilename", name},
                                {"ProductName", kProductName},
                                {"ProductVersion", TOLVER_PRODUCT_VERSION},
                            }});
}

std::string TIVersionInfo::GetString(std::string_view name) const {
    if (tables_.empty()) return {};
    // "\StringFileInfo\<translation>\<name>" of the first translation.
    for (const auto& [key, value] : tables_.front().strings)
        if (SameText(key, name)) return value;
    return {};
}

}  // namespace tolver
