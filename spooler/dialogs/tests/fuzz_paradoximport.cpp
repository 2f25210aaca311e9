// libFuzzer target for the import of Paradox tables: whatever bytes lie in "Plat.DB"
// and "Dep.DB", the import ends with a result (no crash, no sanitizer report), and
// every item it adds was read whole.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "platform/testing/fuzz_seeds.h"
#include "spooler/dialogs/paradoximport.h"
#include "spooler/dialogs/tests/paradox_writer.h"

using namespace tolver;
namespace fs = std::filesystem;

namespace {

fs::path Folder() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / ("tolver-fuzz-px-" + std::to_string(::getpid()));
        fs::create_directories(f / "Data");
        return f;
    }();
    return folder;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// With TOLVER_WRITE_SEEDS=<folder>, writes real tables as the seed corpus and exits.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::getenv("TOLVER_WRITE_SEEDS")) return 0;
    const fs::path art = Folder() / "seed-art.db", dep = Folder() / "seed-dep.db";
    testutil::WriteParadoxTable(art.string(), testutil::kArticleFields,
                                {{1L, std::string("Хлеб"), 1L, 1L}, {2L, std::string("Молоко"), 2L, 2L}});
    testutil::WriteParadoxTable(dep.string(), testutil::kDepartmentFields, {{1L, std::string("Бакалея"), 1L}});
    const std::string seeds[] = {ReadAll(art), ReadAll(dep)};
    testutil::WriteSeedsIfAsked({seeds[0], seeds[1]});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* name : {"Plat.DB", "Dep.DB"})
        std::ofstream(Folder() / "Data" / name, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    TSpoolerSetup setup;
    const TImportResult arts = ImportArticles(Folder().string(), setup.ArtList);
    const TImportResult deps = ImportDepartments(Folder().string(), setup.DepList);
    if (arts.Added != setup.ArtList.Count() || deps.Added != setup.DepList.Count()) std::abort();
    return 0;
}
