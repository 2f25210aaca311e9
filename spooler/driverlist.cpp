#include "spooler/driverlist.h"

#include <QtGlobal>

#include "common/debug.h"
#include "common/utilgl.h"
#include "drivers/contract/driverlibrary.h"

namespace tolver {

namespace {

void LogSkipped(const std::string& text) {
    qWarning("%s", text.c_str());
    DebugLog(text, "Spooler", true);
}

}  // namespace

std::vector<TDriverListEntry> BuildDriverList(const std::string& folder) {
    std::vector<TDriverListEntry> list;
    list.push_back({kNoDriverCaption, std::make_unique<TCashDriverProperties>()});
    const std::string dir = folder.empty() ? GetAppPath() : folder;
    std::vector<std::unique_ptr<TLibInfo>> found;
    try {
        FindLibraries(dir + "*.csh", kLibKindCashDriver, found);
    } catch (const std::exception& e) {
        LogSkipped("Driver search in " + dir + " failed: " + e.what());
    }
    for (const auto& info : found) {
        void* handle = nullptr;
        if (!OpenLibrary(info->FilePath, handle)) {
            LogSkipped("Driver library " + info->FilePath + " no longer loads");
            continue;
        }
        try {
            auto properties = std::make_unique<TCashDriverProperties>();
            QueryDefaultProperties(handle, properties.get());
            properties->FilePath = info->FilePath;
            list.push_back({info->Name, std::move(properties)});
        } catch (const std::exception& e) {
            LogSkipped("Driver library " + info->FilePath + " skipped: " + e.what());
        }
        CloseLibrary(handle);
    }
    return list;
}

}  // namespace tolver
