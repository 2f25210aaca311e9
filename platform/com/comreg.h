#pragma once
// Registry helpers shared by the runtime's registration code.

#include <string>

#include "platform/com/dispatch.h"
#include "platform/registry/registry.h"

namespace tolver::detail {

// A locale as the registry names it: hexadecimal without leading zeros ("800", "409").
std::string LcidName(LCID lcid);
// Whether progId can name a key of its own under HKEY_CLASSES_ROOT: not empty, no "\".
bool ValidProgId(const std::string& progId);
// Opens key, creating it and the keys on the way; raises when that cannot be done.
void CreateKey(TRegistry& reg, const std::string& key);

}  // namespace tolver::detail
