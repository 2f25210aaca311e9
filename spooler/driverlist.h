#pragma once
// The driver list that the connection dialog offers: entry 0 "не установлен" (no
// driver, CashType 0), then one entry per driver library (kind 5) found in the
// program's own folder, in the order of the search, each with the default driver
// choice its GetDefaultProperties reports. A file that does not load, reports no
// kind or another kind, or fails inside its exports is skipped and logged.

#include <memory>
#include <string>
#include <vector>

#include "common/cashgl.h"

namespace tolver {

inline constexpr const char* kNoDriverCaption = "не установлен";

struct TDriverListEntry {
    std::string Caption;
    std::unique_ptr<TCashDriverProperties> Properties;
};

// folder: with its trailing "/"; by default the program's folder (GetAppPath).
std::vector<TDriverListEntry> BuildDriverList(const std::string& folder = {});

}  // namespace tolver
