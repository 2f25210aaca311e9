// The import of articles and departments from Paradox tables that the tests write
// with pxlib, as a previous installation left them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/cashgl.h"
#include "spooler/dialogs/paradoximport.h"
#include "spooler/dialogs/tests/paradox_writer.h"

namespace tolver {
namespace {

namespace fs = std::filesystem;
using testutil::kArticleFields;
using testutil::kDepartmentFields;
using testutil::PxValue;
using testutil::WriteParadoxTable;

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tolver-import-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "Data");
    }
    void TearDown() override { fs::remove_all(root); }
    std::string Table(const char* name) const { return (root / "Data" / name).string(); }

    fs::path root;
    TSpoolerSetup setup;
};

TEST_F(ImportTest, ArticlesKeepTheirNumbersAndAreAppended) {
    WriteParadoxTable(Table("Plat.DB"), kArticleFields,
                      {{5L, std::string("Хлеб белый"), 2L, 1L}, {3L, std::string("Молоко 2,5%"), 1L, 2L},
                       {7L, PxValue{}, PxValue{}, 3L}});
    setup.ArtList.CreateItem(5);  // an existing article of the same number stays beside the import
    const TImportResult result = ImportArticles(root.string(), setup.ArtList);
    ASSERT_TRUE(result.Ok) << result.Detail;
    EXPECT_EQ(result.Added, 3);
    ASSERT_EQ(setup.ArtList.Count(), 4);
    auto* bread = setup.ArtList.Item<TCashArtProperties>(1);
    EXPECT_EQ(bread->N, 5);
    EXPECT_EQ(bread->Description, "Хлеб белый");
    EXPECT_EQ(bread->NDep, 2);
    EXPECT_EQ(bread->NTax, 1);
    EXPECT_EQ(setup.ArtList.Item<TCashArtProperties>(2)->Description, "Молоко 2,5%");
    auto* blank = setup.ArtList.Item<TCashArtProperties>(3);  // blank fields read as "" and 0
    EXPECT_EQ(blank->N, 7);
    EXPECT_EQ(blank->Description, "");
    EXPECT_EQ(blank->NDep, 0);
    setup.ArtList.Sort();
    EXPECT_TRUE(setup.ArtList.FindByN(5)->Duplicate);
}

TEST_F(ImportTest, DepartmentsFromAnyCaseOfFolderAndFile) {
    fs::rename(root / "Data", root / "DATA");
    WriteParadoxTable((root / "DATA" / "dep.db").string(), kDepartmentFields,
                      {{1L, std::string("Бакалея"), 1L}, {2L, std::string("Молочный отдел"), 2L}});
    const TImportResult result = ImportDepartments(root.string(), setup.DepList);
    ASSERT_TRUE(result.Ok) << result.Detail;
    ASSERT_EQ(setup.DepList.Count(), 2);
    auto* dairy = setup.DepList.Item<TCashDepProperties>(1);
    EXPECT_EQ(dairy->N, 2);
    EXPECT_EQ(dairy->Description, "Молочный отдел");
    EXPECT_EQ(dairy->NTax, 2);

    WriteParadoxTable((root / "DATA" / "Plat.DB").string(), kArticleFields, {});  // an empty table
    const TImportResult none = ImportArticles(root.string(), setup.ArtList);
    EXPECT_TRUE(none.Ok) << none.Detail;
    EXPECT_EQ(none.Added, 0);
}

TEST_F(ImportTest, FailuresAddNothingHalfFilled) {
    // No file at all.
    TImportResult result = ImportArticles(root.string(), setup.ArtList);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(setup.ArtList.Count(), 0);

    // A field of a type that holds no number.
    WriteParadoxTable(Table("Dep.DB"), {{"NDep", pxfDate, 4}, {"NameDep", pxfAlpha, 30}, {"NTax", pxfShort, 2}},
                      {{1L, std::string("Бакалея"), 1L}});
    result = ImportDepartments(root.string(), setup.DepList);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(setup.DepList.Count(), 0);

    // A missing field.
    WriteParadoxTable(Table("Plat.DB"), {{"NArt", pxfLong, 4}, {"Name", pxfAlpha, 40}},
                      {{1L, std::string("Хлеб")}});
    result = ImportArticles(root.string(), setup.ArtList);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(setup.ArtList.Count(), 0);

    // Numbers kept as text: a bad one in the third row keeps the two rows before it
    // and adds nothing of its own.
    WriteParadoxTable(Table("Plat.DB"),
                      {{"NArt", pxfAlpha, 6}, {"Name", pxfAlpha, 40}, {"NDep", pxfAlpha, 4}, {"NTax", pxfAlpha, 4}},
                      {{std::string("10"), std::string("Хлеб"), std::string("1"), std::string("1")},
                       {std::string("11"), std::string("Сыр"), std::string("2"), std::string("1")},
                       {std::string("12"), std::string("Чай"), std::string("x3"), std::string("1")},
                       {std::string("13"), std::string("Кофе"), std::string("1"), std::string("1")}});
    result = ImportArticles(root.string(), setup.ArtList);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Added, 2);
    ASSERT_EQ(setup.ArtList.Count(), 2);
    EXPECT_EQ(setup.ArtList.Item<TCashArtProperties>(1)->Description, "Сыр");

    // Damaged tables end with an error, never round a loop of blocks or past the end:
    // block 1 naming itself as the next one, and a table cut short.
    WriteParadoxTable(Table("Dep.DB"), kDepartmentFields, {{1L, std::string("Бакалея"), 1L}});
    std::string bytes;
    {
        std::ifstream in(Table("Dep.DB"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::size_t headerSize = static_cast<unsigned char>(bytes[2]) | static_cast<unsigned char>(bytes[3]) << 8;
    std::string looped = bytes;
    looped[headerSize] = 1;
    looped[headerSize + 1] = 0;
    for (const std::string& damaged : {looped, bytes.substr(0, headerSize + 16)}) {
        std::ofstream(Table("Dep.DB"), std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_FALSE(ImportDepartments(root.string(), setup.DepList).Ok);
    }

    // Not a Paradox table at all.
    std::FILE* junk = std::fopen(Table("Dep.DB").c_str(), "wb");
    std::fputs("not a table", junk);
    std::fclose(junk);
    EXPECT_FALSE(ImportDepartments(root.string(), setup.DepList).Ok);
}

TEST(ImportText, NamesTheFile) {
    EXPECT_EQ(ImportErrorText("Plat.DB"),
              "Произошла ошибка при открытии файла настроек Plat.DB.\r\nВозможно путь указан неверно, не установлено "
              "ядро баз данных (BDE) или файл отсутствует.");
}

}  // namespace
}  // namespace tolver
