#pragma once
// The spooler's dialog windows over the main window's shared state: connection,
// settings, reports and programming, created in that order.

#include <memory>

#include "spooler/spoolerdialogs.h"

namespace tolver {

std::unique_ptr<ISpoolerDialogs> CreateSpoolerDialogs(TfrmMain& main);

}  // namespace tolver
