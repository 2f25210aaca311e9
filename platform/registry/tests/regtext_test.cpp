#include "platform/registry/regtext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/utilgl.h"
#include "platform/registry/registry_fixture.h"

using namespace tolver;

namespace {

class RegText : public RegistryTest {};

constexpr const char* kSample =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Norvale]\n"
    "\"Path\"=\"C:\\\\Tolver \\\"x\\\"\"\n"
    "\"N\"=dword:0000002a\n"
    "\"Neg\"=dword:ffffffff\n"
    "\"Blob\"=hex:00,00,00,00,00,00,34,40\n"
    "\"Lines\"=hex(1):41,00,0d,00,0a,00,1b,04,00,00\n"
    "@=\"по умолчанию\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Norvale\\Sub]\n"
    "\"Empty\"=hex:\n"
    "\n";

TEST_F(RegText, ExportIsTheWindowsText) {
    ImportRegistryText(kSample);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale", false));
    EXPECT_EQ(reg.ReadString("Path"), "C:\\Tolver \"x\"");
    EXPECT_EQ(reg.ReadInteger("N"), 42);
    EXPECT_EQ(reg.ReadInteger("Neg"), -1);
    EXPECT_EQ(reg.ReadFloat("Blob"), 20.0);
    EXPECT_EQ(reg.ReadString("Lines"), "A\r\nЛ");
    EXPECT_EQ(reg.ReadString(""), "по умолчанию");
    // Read back exactly; the stored case of the key names wins over the asked one.
    EXPECT_EQ(ExportRegistryText("HKLM\\SOFTWARE\\norvale"), kSample);
    EXPECT_THROW(ExportRegistryText("HKEY_LOCAL_MACHINE\\Missing"), ERegistryException);
    EXPECT_THROW(ExportRegistryText("HKEY_NOWHERE\\Software"), ERegistryException);
}

TEST_F(RegText, ImportsWhatTheWindowsEditorWrites) {
    // UTF-16LE with its byte-order mark, CR LF lines, comments, continued byte lists,
    // deletions of a key and of a value.
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Old\\Deep]\r\n\"x\"=dword:1\r\n"
        "[-HKEY_CURRENT_USER\\Old]\r\n"
        "[HKEY_CURRENT_USER\\New]\r\n"
        "\"Bytes\"=hex:01,02,\\\r\n  03,04\r\n"
        "\"Gone\"=\"x\"\r\n"
        "\"Gone\"=-\r\n"
        "\"Word\"=hex(4):01,00,00,00\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : text) utf16 += {c, '\0'};
    ImportRegistryText(utf16);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "\\Old"));
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\New", false));
    EXPECT_EQ(reg.ReadBinaryData("Bytes"), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(reg.ValueExists("Gone"));
    EXPECT_EQ(reg.ReadInteger("Word"), 1);
}

TEST_F(RegText, MalformedTextImportsNothing) {
    const struct {
        const char* body;
        const char* error;
    } cases[] = {
        {"\"v\"=dword:1\n", "line 2: a value stands outside of a key"},
        {"[HKEY_NOWHERE\\A]\n", "line 2: unknown registry root"},
        {"[HKEY_CURRENT_USER\\A\n", "line 2: a key line must end"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n", "line 3: a dword needs"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=dword:xyz\n", "line 3: a dword needs"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex:1,2g\n", "line 3: bytes must be separated"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex:123\n", "line 3: a byte has more"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\\\n", "line 3: the byte list continues"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\n", "line 3: a byte list ends with a comma"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex(7):00,00\n", "line 3: unsupported value type"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=hex(1):41\n", "line 3: a UTF-16 text has an odd"},
        {"[HKEY_CURRENT_USER\\A]\n\"v=\"x\"\n", "line 3: \"=\" is missing"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\n", "line 3: a text has no closing quote"},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\" y\n", "line 3: text after the closing quote"},
        {"[HKEY_CURRENT_USER\\A]\nv=1\n", "line 3: a value line must begin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        try {
            ImportRegistryText(std::string("Windows Registry Editor Version 5.00\n") + c.body);
            ADD_FAILURE() << "no error";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(std::string(e.what()).find(c.error), 0u) << e.what();
        }
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "\\A"));
    }
    EXPECT_THROW(ImportRegistryText("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n"), ERegistryException);
    EXPECT_THROW(ImportRegistryText(""), ERegistryException);
}

TEST_F(RegText, ToolExportsAndImportsTheStoreOfTolverRegistry) {
    const std::string tool = GetAppPath() + "tolver-reg";
    const std::string in = (registry_.dir() / "in.reg").string(), out = (registry_.dir() / "out.reg").string();
    std::ofstream(in, std::ios::binary) << kSample;
    ASSERT_EQ(std::system(("'" + tool + "' import '" + in + "'").c_str()), 0);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Norvale\\Sub"));
    ASSERT_EQ(std::system(("'" + tool + "' export 'HKEY_LOCAL_MACHINE\\Software\\Norvale' '" + out + "'").c_str()), 0);
    std::ifstream got(out, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}), kSample);
    EXPECT_NE(std::system(("'" + tool + "' export 'HKEY_LOCAL_MACHINE\\Missing' 2>/dev/null").c_str()), 0);
}

}  // namespace
