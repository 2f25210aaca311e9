#include "drivers/contract/driverlibrary.h"

#include <dlfcn.h>
#include <fnmatch.h>

#include <algorithm>
#include <filesystem>

namespace tolver {

bool OpenLibrary(const std::string& FileName, void*& Handle) {
    // A name without a folder would make dlopen search the library path.
    const std::string path = FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
    Handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return Handle != nullptr;
}

void CloseLibrary(void* Handle) {
    if (Handle) dlclose(Handle);
}

void QueryLibInfo(void* Handle, TLibInfo* Info) {
    if (!Info) return;
    Info->Kind = 0;
    Info->Name.clear();
    Info->Flag = 0;
    if (!Handle) return;
    if (const auto fn = reinterpret_cast<GetLibInfoProc>(dlsym(Handle, "GetLibInfo"))) fn(Info);
}

void QueryDefaultProperties(void* Handle, TCashDriverProperties* Properties) {
    if (!Handle) return;
    if (const auto fn = reinterpret_cast<GetDefaultPropertiesProc>(dlsym(Handle, "GetDefaultProperties")))
        fn(Properties);
}

std::int32_t FindLibraries(const std::string& Mask, std::uint8_t Kind, std::vector<std::unique_ptr<TLibInfo>>& List) {
    namespace fs = std::filesystem;
    std::int32_t result = -1;
    const std::size_t slash = Mask.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : Mask.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? Mask : Mask.substr(slash + 1);
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string full = folder + name;
        void* handle = nullptr;
        if (!OpenLibrary(full, handle)) continue;
        auto info = std::make_unique<TLibInfo>();
        info->FilePath = full;
        QueryLibInfo(handle, info.get());
        if (info->Kind == Kind) {
            List.push_back(std::move(info));
            result = 0;
        }
        CloseLibrary(handle);
    }
    return result;
}

}  // namespace tolver
