#pragma once
// The driver object's link to the real protocol engine on the default line (a
// termios port on the system clock, platform/serial/defaultline.h).

#include <memory>

#include "drivers/dalvern/driver/regfisc2160enginelink.h"

namespace tolver {

std::unique_ptr<TRegFisc2160Link> MakeRegFisc2160Link();

}  // namespace tolver
