// A library that reports another kind than a cash-register driver.
#include "drivers/contract/libinfo.h"

TOLVER_EXPORT void GetLibInfo(tolver::TLibInfo* Info) {
    try {
        Info->Kind = 3;
        Info->Name = "Not a driver";
        Info->Flag = 1;
    } catch (...) {
    }
}
