#include "platform/ini/inifile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/base/exception.h"
#include "platform/registry/temp_registry.h"

using namespace tolver;

namespace {

class IniFile : public ::testing::Test {
protected:
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    TempRegistry temp_;  // only for its folder
    std::string path_ = (temp_.dir() / "Spooler.ini").string();
};

TEST_F(IniFile, ReadsWithTheProfileRules) {
    Write("; comment\r\n[Sorbel]\r\n  NoAutoProgram = 1 \r\nName=\"  padded  \"\r\nq='x'\r\nname=second\r\n"
          "junk line\r\n[Другой]\r\nКлюч=Значение\r\n");
    const TIniFile ini(path_);
    const struct {
        const char* section;
        const char* ident;
        const char* value;  // nullptr: absent
    } cases[] = {
        {"SORBEL", "noautoprogram", "1"}, {"Sorbel", "Name", "  padded  "}, {"Sorbel", "q", "x"},
        {"другой", "КЛЮЧ", "Значение"},   {"Sorbel", "junk line", nullptr}, {"Missing", "x", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ident);
        EXPECT_EQ(ini.ValueExists(c.section, c.ident), c.value != nullptr);
        EXPECT_EQ(ini.ReadString(c.section, c.ident, "def"), c.value ? c.value : "def");
    }
    EXPECT_EQ(ini.ReadInteger("Sorbel", "NoAutoProgram", 0), 1);
    EXPECT_EQ(ini.ReadInteger("Sorbel", "Name", -3), -3);
    EXPECT_TRUE(ini.ReadBool("Sorbel", "NoAutoProgram", false));
    EXPECT_EQ(ini.ReadSection("sorbel"), (std::vector<std::string>{"NoAutoProgram", "Name", "q", "name"}));
    EXPECT_TRUE(ini.SectionExists("ДРУГОЙ"));
}

TEST_F(IniFile, WritesAtOnceAndKeepsTheRest) {
    Write("; keep me\n[A]\nx=1\n\n[B]\ny=2\n");
    TIniFile ini(path_);
    const TIniFile other(path_);
    EXPECT_EQ(other.ReadString("A", "x", ""), "1");
    ini.WriteString("a", "X", "10");
    ini.WriteString("A", "z", " blanks ");
    ini.WriteInteger("C", "n", -4);
    EXPECT_EQ(Read(), "; keep me\n[A]\nx=10\nz=\" blanks \"\n\n[B]\ny=2\n[C]\nn=-4\n");
    // Another object on the same file sees every write at once.
    EXPECT_EQ(other.ReadString("A", "x", ""), "10");
    EXPECT_EQ(other.ReadString("A", "z", ""), " blanks ");
    ini.DeleteKey("A", "x");
    ini.EraseSection("b");
    EXPECT_EQ(Read(), "; keep me\n[A]\nz=\" blanks \"\n\n[C]\nn=-4\n");
    EXPECT_THROW(ini.WriteString("A", "k", "two\nlines"), Exception);
    EXPECT_EQ(other.ReadSection("A"), std::vector<std::string>{"z"});
}

TEST_F(IniFile, MissingFileReadsEmptyAndIsCreatedByAWrite) {
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("A", "x", "d"), "d");
    EXPECT_FALSE(ini.SectionExists("A"));
    ini.WriteBool("A", "on", true);
    EXPECT_EQ(Read(), "[A]\non=1\n");
}

}  // namespace
