#pragma once
// The host's side of driver discovery: loading a library only to call its plain
// exports, and listing the libraries of one kind in a folder.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/contract/libinfo.h"

namespace tolver {

// Loads the library file; false (Handle null) when it is no loadable library.
bool OpenLibrary(const std::string& FileName, void*& Handle);
// Unloads it when Handle is not null.
void CloseLibrary(void* Handle);
// Nothing without Info; else clears Kind, Name and Flag, then calls the library's
// "GetLibInfo" when Handle is not null and it has one.
void QueryLibInfo(void* Handle, TLibInfo* Info);
// Calls "GetDefaultProperties" when Handle is not null and the library has one;
// nothing is cleared first.
void QueryDefaultProperties(void* Handle, TCashDriverProperties* Properties);

// Every file matching Mask (a folder followed by a file pattern such as "*.csh",
// matched without regard to case, in name order) that loads and reports library
// kind Kind is appended to List, with its FilePath set; each library is unloaded
// again. 0 when at least one was added, else -1.
std::int32_t FindLibraries(const std::string& Mask, std::uint8_t Kind, std::vector<std::unique_ptr<TLibInfo>>& List);

}  // namespace tolver
