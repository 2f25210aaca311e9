// The driver list built from a folder of libraries: only drivers, in file order,
// each with its default driver choice; everything else skipped without harm.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry/temp_registry.h"
#include "spooler/driverlist.h"

using namespace tolver;
namespace fs = std::filesystem;

TEST(DriverList, OnlyDriverLibrariesOfTheFolderFollowTheNoDriverEntry) {
    TempRegistry registry;
    const fs::path dir = registry.dir() / "bin";
    fs::create_directories(dir);
    fs::copy_file(TEST_DRIVER_MODULE, dir / "a.csh");
    fs::copy_file(TEST_DRIVER_MODULE, dir / "b.CSH");  // the same display name twice
    fs::copy_file(OTHER_KIND_MODULE, dir / "c.csh");
    fs::copy_file(NO_LIB_INFO_MODULE, dir / "d.csh");
    std::ofstream(dir / "e.csh") << "not a library";
    fs::copy_file(TEST_DRIVER_MODULE, dir / "f.rpt");

    const auto list = BuildDriverList(dir.string() + "/");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Caption, "не установлен");
    EXPECT_EQ(list[0].Properties->CashType, 0);
    EXPECT_EQ(list[0].Properties->AutoObjectName, "");
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(list[i].Caption, "Test cash register");
        EXPECT_EQ(list[i].Properties->CashType, 77);
        EXPECT_EQ(list[i].Properties->AutoObjectName, "TolverTest.TestDriver");
    }
    EXPECT_EQ(list[1].Properties->FilePath, (dir / "a.csh").string());
    EXPECT_EQ(list[2].Properties->FilePath, (dir / "b.CSH").string());

    const auto empty = BuildDriverList((registry.dir() / "none").string() + "/");
    ASSERT_EQ(empty.size(), 1u);
}
