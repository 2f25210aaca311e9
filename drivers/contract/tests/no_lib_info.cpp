// A library with the placeholder export alone, without GetLibInfo.
#include "drivers/contract/libinfo.h"

TOLVER_EXPORT std::int32_t PropertiesDialog() { return -1; }
