#pragma once
// The seed corpus of a libFuzzer target: run with TOLVER_WRITE_SEEDS=<folder>, the
// target's LLVMFuzzerInitialize writes its seeds there, one file each, and exits.
//
//   tolver::testutil::WriteSeedsIfAsked({encoding1, encoding2});

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tolver::testutil {

inline void WriteSeedsIfAsked(std::span<const std::string_view> seeds) {
    const char* dir = std::getenv("TOLVER_WRITE_SEEDS");
    if (!dir) return;
    int n = 0;
    for (const std::string_view s : seeds)
        std::ofstream(std::string(dir) + "/seed" + std::to_string(n++), std::ios::binary)
            .write(s.data(), static_cast<std::streamsize>(s.size()));
    std::exit(0);
}

inline void WriteSeedsIfAsked(std::initializer_list<std::string_view> seeds) {
    WriteSeedsIfAsked(std::span<const std::string_view>(seeds.begin(), seeds.size()));
}

}  // namespace tolver::testutil
