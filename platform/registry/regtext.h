#pragma once
// Windows registry text ("Windows Registry Editor Version 5.00"), so that users and
// tests can read and seed the registry store:
//
//   [HKEY_LOCAL_MACHINE\Software\Norvale]      a key (created on import)
//   [-HKEY_LOCAL_MACHINE\Software\Old]         deletes a key with everything below
//   "Name"="text"                              REG_SZ, with \\ and \" escaped
//   "N"=dword:00000001                         REG_DWORD
//   "Blob"=hex:01,02,03                        REG_BINARY (a trailing "\" continues the line)
//   "Lines"=hex(1):41,00,0d,00,0a,00,00,00     REG_SZ as UTF-16LE (texts with control characters)
//   @="default"  /  "Name"=-                   the unnamed value / deletes a value
//
// Roots are HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT (or HKLM,
// HKCU, HKCR). Export writes UTF-8; import reads UTF-8 (with or without a byte-order
// mark) and UTF-16LE with its byte-order mark, as the Windows editor writes it.

#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace tolver {

// The key (with its root, e.g. "HKEY_LOCAL_MACHINE\Software\Norvale") and everything
// below it as registry text. Raises ERegistryException when the key does not exist.
std::string ExportRegistryText(const std::string& key);

// Carries out a registry text in one transaction: all of it or, when a line is
// malformed or names an unsupported type, nothing (ERegistryException naming the line).
void ImportRegistryText(std::string_view text);

}  // namespace tolver
