#pragma once
// Folder form of an object's published properties: the file "Data.ini" of a folder,
// section "Xt", one entry per property named like it:
//
//   Integer, Char, WideChar   the ordinal in decimal
//   Enumeration, Boolean      the element's identifier
//   Float kinds               the value with "." as the decimal separator, whatever
//                             the locale; "." and "," are both read
//   String, Variant           the text, CR written as the character 1 and LF as 2
//   Set, Class, Method, Int64 not stored

#include <string>

#include "common/properties.h"

namespace tolver {

inline constexpr const char* kXtIniFile = "Data.ini";
inline constexpr const char* kXtIniSection = "Xt";

// Creates dir with its parents and writes the entries; entries that no property
// writes any more stay. A folder that cannot be made writes nothing, silently.
void SaveObjectToDir(const TPersistent& obj, const std::string& dir);
// Reads the entries that exist; a missing folder or file changes nothing. A number
// that does not parse reads as 0; an enumeration text that names no element raises.
void LoadObjectFromDir(TPersistent& obj, const std::string& dir);

}  // namespace tolver
