#pragma once
// The plain exports of a driver library (.csh), through which the host discovers it
// without creating any object, and the record that GetLibInfo fills. Both sides
// include this header, so the layouts and the calling convention are one: the host
// owns the records, the library assigns their fields (both share libtolver's
// allocator, so std::string fields may be assigned across the boundary).
//
// Besides these a driver library exports the four standard entry points of an
// in-process server (platform/com/comserv.h). No export lets an exception out.

#include <cstdint>
#include <string>

#include "platform/com/comserv.h"

namespace tolver {

class TCashDriverProperties;  // the settings class of common/ (CashType, AutoObjectName, FilePath)

// Library kind of a cash-register driver.
inline constexpr std::uint8_t kLibKindCashDriver = 5;

class TLibInfo {
public:
    std::uint8_t Kind = 0;   // library kind, kLibKindCashDriver for a driver
    std::string Name;        // display name in the host's driver list
    std::uint8_t Flag = 0;   // every driver sets 1; the host does not read it
    std::string FilePath;    // full path of the library file, set by the host only
};

using GetLibInfoProc = void (*)(TLibInfo* Info);
using PropertiesDialogProc = std::int32_t (*)();
using GetDefaultPropertiesProc = void (*)(TCashDriverProperties* Properties);

}  // namespace tolver

// Fills Kind, Name and Flag, nothing else.
TOLVER_EXPORT void GetLibInfo(tolver::TLibInfo* Info);
// A placeholder that the host never calls: returns -1.
TOLVER_EXPORT std::int32_t PropertiesDialog();
// Fills CashType and AutoObjectName (the driver's ProgID); FilePath stays untouched.
TOLVER_EXPORT void GetDefaultProperties(tolver::TCashDriverProperties* Properties);

// The three exports of a driver library, in its module's source file: name is the
// display name, fillDefaults(TCashDriverProperties&) sets CashType and AutoObjectName.
#define TOLVER_DRIVER_LIBRARY_EXPORTS(name, fillDefaults)                          \
    TOLVER_EXPORT void GetLibInfo(tolver::TLibInfo* Info) {                        \
        try {                                                                      \
            Info->Kind = tolver::kLibKindCashDriver;                               \
            Info->Name = (name);                                                   \
            Info->Flag = 1;                                                        \
        } catch (...) {                                                            \
        }                                                                          \
    }                                                                              \
    TOLVER_EXPORT std::int32_t PropertiesDialog() { return -1; }                   \
    TOLVER_EXPORT void GetDefaultProperties(tolver::TCashDriverProperties* Properties) { \
        try {                                                                      \
            fillDefaults(*Properties);                                             \
        } catch (...) {                                                            \
        }                                                                          \
    }
