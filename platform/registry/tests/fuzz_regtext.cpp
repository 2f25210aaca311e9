// libFuzzer target for the registry text importer: any input either imports or
// raises ERegistryException; nothing crashes and no sanitizer reports.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/regtext.h"
#include "platform/testing/fuzz_seeds.h"

using namespace tolver;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    testutil::WriteSeedsIfAsked({
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"S\"=\"x\\\\y\"\n"
        "\"D\"=dword:0000002a\n\"B\"=hex:01,02,\\\n  03\n\"W\"=hex(1):41,00,00,00\n@=\"d\"\n",
        "Windows Registry Editor Version 5.00\r\n[-HKCU\\X]\r\n[HKCR\\Y]\r\n\"v\"=-\r\n\"q\"=hex(4):01,00,00,00\r\n",
    });
    static char path[] = "/tmp/tolver-fuzz-regtext-XXXXXX";
    if (!mkdtemp(path)) std::abort();
    setenv("TOLVER_REGISTRY", (std::string(path) + "/registry.db").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        ImportRegistryText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const ERegistryException&) {
    }
    // Each input starts from an empty store.
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
        TRegistry reg(root);
        for (const auto& key : reg.GetKeyNames()) reg.DeleteKey("\\" + key);
        for (const auto& value : reg.GetValueNames()) reg.DeleteValue(value);
    }
    return 0;
}
