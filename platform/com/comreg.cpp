#include "platform/com/comreg.h"

#include <cstdio>

namespace tolver::detail {

std::string LcidName(LCID lcid) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", lcid);
    return buf;
}

bool ValidProgId(const std::string& progId) { return !progId.empty() && progId.find('\\') == std::string::npos; }

void CreateKey(TRegistry& reg, const std::string& key) {
    if (!reg.OpenKey(key, true)) throw ERegistryException("Cannot create the registry key " + key);
}

}  // namespace tolver::detail
