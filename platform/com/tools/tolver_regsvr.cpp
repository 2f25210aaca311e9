// tolver-regsvr MODULE [/u]   registers the module's classes (DllRegisterServer), or
//                             removes them again (/u, DllUnregisterServer)
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "platform/com/comserv.h"
#include "platform/com/hresult.h"
#include "platform/registry/registry.h"

namespace {

int Usage() {
    std::cerr << "usage: tolver-regsvr MODULE [/u]\n"
                 "Registers the module's classes in the registry store (/u removes them).\n"
                 "The store is the file that TOLVER_REGISTRY names, else "
              << tolver::RegistryPath() << ".\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) return Usage();
    const bool unregister = argc == 3;
    if (unregister && std::string(argv[2]) != "/u" && std::string(argv[2]) != "-u") return Usage();

    // The module registers the path it was loaded from: make it absolute.
    std::error_code ec;
    const std::string path = std::filesystem::absolute(argv[1], ec).string();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* e = dlerror();
        std::cerr << "tolver-regsvr: " << (e ? e : path.c_str()) << "\n";
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const auto fn = reinterpret_cast<tolver::DllRegisterServerProc>(dlsym(module, entry));
    if (!fn) {
        std::cerr << "tolver-regsvr: " << path << " has no " << entry << "\n";
        dlclose(module);
        return 1;
    }
    const tolver::HRESULT hr = fn();
    int rc = 0;
    if (tolver::FAILED(hr)) {
        std::string text = tolver::HResultText(hr);
        tolver::TakeErrorInfo(hr, text);
        std::cerr << "tolver-regsvr: " << entry << " of " << path << " failed: " << text << "\n";
        rc = 1;
    }
    dlclose(module);
    return rc;
}
