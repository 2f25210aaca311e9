#include "common/xtreg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "common/xtini.h"
#include "platform/ini/inifile.h"
#include "platform/registry/registry_fixture.h"

using namespace tolver;

namespace {

enum class Color { Red, Green, Blue };
constexpr std::string_view kColors[] = {"Red", "Green", "Blue"};
constexpr std::string_view kParts[] = {"First", "Second", "Third"};

class TChild : public TProperties {
public:
    std::int32_t Depth = 0;
    std::unique_ptr<TProperties> Create() const override { return std::make_unique<TChild>(); }
    const PropertyTable& Properties() const override {
        static const PropertyTable table(TProperties::Properties(), {Published("Depth", &TChild::Depth)});
        return table;
    }
};

// One published property of every kind.
class TSample : public TProperties {
public:
    std::int32_t Count = 0;
    std::uint8_t Small = 0;
    char Letter = 'a';
    bool Flag = false;
    Color Colour = Color::Red;
    double Ratio = 0;
    Currency Money;
    std::string Text;
    Variant Any;
    std::uint32_t Parts = 0;
    std::unique_ptr<TChild> Child = std::make_unique<TChild>();
    TNotifyEvent OnChange;
    std::int64_t Big = 0;
    int handled = 0;  // not published

    void Handle(TPersistent*) { ++handled; }
    void Other(TPersistent*) {}

    std::unique_ptr<TProperties> Create() const override { return std::make_unique<TSample>(); }
    const PropertyTable& Properties() const override {
        using C = TSample;
        static const PropertyTable table(TProperties::Properties(), {
            Published("Count", &C::Count),
            Published("Small", &C::Small),
            Published("Letter", &C::Letter),
            Published("Flag", &C::Flag),
            Published("Colour", &C::Colour, kColors),
            Published("Ratio", &C::Ratio),
            Published("Money", &C::Money),
            Published("Text", &C::Text),
            Published("Any", &C::Any),
            PublishedSet("Parts", &C::Parts, kParts),
            Published("Child", &C::Child),
            Published("OnChange", &C::OnChange),
            Published("Big", &C::Big),
        });
        return table;
    }
    const MethodTable& Methods() const override {
        static const MethodTable table(TProperties::Methods(), {Handler<&TSample::Handle>("Handle"),
                                                                Handler<&TSample::Other>("Other")});
        return table;
    }
};

// A descendant: its own property after the inherited ones; Limit goes through
// accessor functions and may be told to fail.
class TDerived : public TSample {
public:
    std::int32_t GetLimit() const {
        if (failGet) throw Exception("getter failed");
        return limit;
    }
    void SetLimit(std::int32_t v) { limit = v; }
    std::int32_t limit = 0;
    bool failGet = false;

    std::unique_ptr<TProperties> Create() const override { return std::make_unique<TDerived>(); }
    const PropertyTable& Properties() const override {
        static const PropertyTable table(TSample::Properties(),
                                         {Published("Limit", &TDerived::GetLimit, &TDerived::SetLimit)});
        return table;
    }
};

constexpr const char* kKey = "\\Software\\Test\\Obj";

TSample Filled() {
    TSample s;
    s.Count = 5;
    s.Small = 200;
    s.Letter = '\xC0';  // above 127: stored as its code, not sign-extended
    s.Flag = true;
    s.Colour = Color::Blue;
    s.Ratio = 0.25;
    s.Money = Currency::Parse("12.5");
    s.Text = "Две\r\nстроки";
    s.Any = 7;
    s.Parts = 0b101;
    s.Child->Depth = 3;
    s.OnChange = {&s, s.Methods().Find("Handle")};
    s.Big = 99;
    return s;
}

class XtReg : public RegistryTest {};

TEST_F(XtReg, TableListsInheritedPropertiesFirst) {
    TDerived d;
    std::vector<std::string> names;
    for (const auto& p : d.Properties()) names.emplace_back(p.Name());
    EXPECT_EQ(names.front(), "Count");
    EXPECT_EQ(names.back(), "Limit");
    EXPECT_EQ(names.size(), 14u);
    EXPECT_EQ(d.Properties().Find("colour")->Kind(), PropKind::Enumeration);
    EXPECT_EQ(d.Properties().Find("Flag")->Elements().size(), 2u);
    EXPECT_EQ(d.Create()->Properties().size(), 14u);  // the virtual constructor makes a TDerived
}

TEST_F(XtReg, EachKindHasItsRegistryForm) {
    TSample s = Filled();
    SaveObjectToRegistry(s, HKEY_LOCAL_MACHINE, kKey);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    const struct {
        const char* name;
        RegDataType type;
        std::int32_t number;
        const char* text;
    } cases[] = {
        {"Count", RegDataType::DWord, 5, nullptr},      {"Small", RegDataType::DWord, 200, nullptr},
        {"Letter", RegDataType::DWord, 0xC0, nullptr},   {"Flag", RegDataType::String, 0, "True"},
        {"Colour", RegDataType::String, 0, "Blue"},     {"Text", RegDataType::String, 0, "Две\r\nстроки"},
        {"Any", RegDataType::String, 0, "7"},           {"OnChange", RegDataType::String, 0, "Handle"},
        {"Ratio", RegDataType::Binary, 0, nullptr},     {"Money", RegDataType::Binary, 0, nullptr},
        {"Big", RegDataType::None, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(reg.GetDataType(c.name), c.type);
        if (c.type == RegDataType::DWord) {
            EXPECT_EQ(reg.ReadInteger(c.name), c.number);
        }
        if (c.text) {
            EXPECT_EQ(reg.ReadString(c.name), c.text);
        }
    }
    EXPECT_EQ(reg.ReadFloat("Ratio"), 0.25);
    EXPECT_EQ(reg.ReadBinaryData("Money"), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0x29, 0x40}));  // 12.5
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Child", "Parts"}));
    // The set subkey holds every element of its base type.
    ASSERT_TRUE(reg.OpenKey("Parts", false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"First", "Second", "Third"}));
    EXPECT_EQ(reg.ReadInteger("First"), 1);
    EXPECT_EQ(reg.ReadInteger("Second"), 0);
    EXPECT_EQ(reg.ReadInteger("Third"), 1);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test\\Obj\\Child", false));
    EXPECT_EQ(reg.ReadInteger("Depth"), 3);

    // Loading brings every kind back; the event finds its handler by name.
    TSample back;
    LoadObjectFromRegistry(back, HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(back.Count, 5);
    EXPECT_EQ(back.Small, 200);
    EXPECT_EQ(back.Letter, '\xC0');
    EXPECT_TRUE(back.Flag);
    EXPECT_EQ(back.Colour, Color::Blue);
    EXPECT_EQ(back.Ratio, 0.25);
    EXPECT_EQ(back.Money, Currency::Parse("12.5"));
    EXPECT_EQ(back.Text, s.Text);
    EXPECT_EQ(back.Any, Variant("7"));  // as a string variant
    EXPECT_EQ(back.Parts, 0b101u);
    EXPECT_EQ(back.Child->Depth, 3);
    EXPECT_EQ(back.OnChange.code, nullptr);  // no owner object to look the name up in
    EXPECT_EQ(back.Big, 0);
    back.OnChange.data = &back;
    LoadObjectFromRegistry(back, HKEY_LOCAL_MACHINE, kKey);
    back.OnChange(&back);
    EXPECT_EQ(back.handled, 1);
}

TEST_F(XtReg, SaveReplacesTheWholeKey) {
    TSample s = Filled();
    SaveObjectToRegistry(s, HKEY_LOCAL_MACHINE, kKey);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Stale", "x");
    ASSERT_TRUE(reg.OpenKey("Stale", true));
    s.Child.reset();  // no object: no subkey
    SaveObjectToRegistry(s, HKEY_LOCAL_MACHINE, kKey);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_FALSE(reg.ValueExists("Stale"));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Parts"});
}

TEST_F(XtReg, FailedSaveLeavesTheOldContentWhole) {
    TDerived d;
    d.Count = 1;
    d.limit = 10;
    SaveObjectToRegistry(d, HKEY_LOCAL_MACHINE, kKey);
    d.Count = 2;
    d.failGet = true;  // the last property fails after all the others were written
    EXPECT_THROW(SaveObjectToRegistry(d, HKEY_LOCAL_MACHINE, kKey), Exception);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadInteger("Count"), 1);
    EXPECT_EQ(reg.ReadInteger("Limit"), 10);
    try {
        SaveObjectToRegistry(d, 0x1234, "\\Nowhere");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Cannot create key: \\Nowhere");
    }
}

TEST_F(XtReg, LoadStopsAtTheFirstBadValue) {
    TSample saved = Filled();
    SaveObjectToRegistry(saved, HKEY_LOCAL_MACHINE, kKey);
    const struct {
        const char* what;
        std::function<void(TRegistry&)> spoil;
        bool countLoaded;  // Count precedes every spoilt value
        bool textLoaded;   // Text follows Flag and Colour, precedes Any
    } cases[] = {
        {"missing values keep theirs", [](TRegistry& r) { r.DeleteValue("Small"); r.DeleteValue("Text"); }, true, false},
        {"a string where a number stands", [](TRegistry& r) { r.WriteString("Small", "1"); }, true, false},
        {"an integer where a text stands", [](TRegistry& r) { r.WriteInteger("Flag", 1); }, true, false},
        {"an enumeration text naming nothing", [](TRegistry& r) { r.WriteString("Colour", "Purple"); }, true, false},
        {"a float of 4 bytes", [](TRegistry& r) { r.WriteBinaryData("Ratio", {0, 0, 0, 0}); }, true, false},
        {"a set element of another type", [](TRegistry& r) {
             r.OpenKey("Parts", false);
             r.WriteString("Second", "1");
         }, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaveObjectToRegistry(saved, HKEY_LOCAL_MACHINE, kKey);
        {
            TRegistry reg(HKEY_LOCAL_MACHINE);
            ASSERT_TRUE(reg.OpenKey(kKey, false));
            c.spoil(reg);
        }
        TSample s;
        s.Small = 1;
        s.Text = "old";
        s.Parts = 0b010;
        LoadObjectFromRegistry(s, HKEY_LOCAL_MACHINE, kKey);
        EXPECT_EQ(s.Count, c.countLoaded ? 5 : 0);
        if (std::strcmp(c.what, "missing values keep theirs") == 0) {
            EXPECT_EQ(s.Small, 1);
            EXPECT_EQ(s.Text, "old");
            EXPECT_EQ(s.Parts, 0b101u);  // the rest is read
            continue;
        }
        EXPECT_EQ(s.Text, c.textLoaded ? saved.Text : "old");
        EXPECT_EQ(s.Parts, 0b010u);  // never reached, or the set failed as a whole
        EXPECT_EQ(s.Child->Depth, 0);
    }
}

TEST_F(XtReg, EmptyAndMissingSetSubkeys) {
    TSample saved;
    SaveObjectToRegistry(saved, HKEY_LOCAL_MACHINE, kKey);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    ASSERT_TRUE(reg.DeleteKey("Parts"));
    TSample s;
    s.Parts = 0b011;
    LoadObjectFromRegistry(s, HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(s.Parts, 0b011u);  // missing subkey: untouched
    ASSERT_TRUE(reg.OpenKey("Parts", true));
    LoadObjectFromRegistry(s, HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(s.Parts, 0u);  // empty subkey: the empty set
    // A missing key changes nothing at all.
    s.Count = 42;
    LoadObjectFromRegistry(s, HKEY_LOCAL_MACHINE, "\\Missing");
    EXPECT_EQ(s.Count, 42);
}

// ---- the folder form --------------------------------------------------------------

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(XtReg, FolderFormWritesDataIniSectionXt) {
    const auto dir = registry_.dir() / "a" / "b" / "7";
    TSample s = Filled();
    s.Ratio = -1.5e-7;
    SaveObjectToDir(s, dir.string());  // creates the folder with its parents
    EXPECT_EQ(ReadFile(dir / "Data.ini"),
              "[Xt]\nCount=5\nSmall=200\nLetter=192\nFlag=True\nColour=Blue\nRatio=-1.5e-07\nMoney=12.5\n"
              "Text=Две\x01\x02строки\nAny=7\n");
    TSample back;
    back.Parts = 0b010;
    LoadObjectFromDir(back, dir.string());
    EXPECT_EQ(back.Text, "Две\r\nстроки");
    EXPECT_EQ(back.Ratio, -1.5e-7);
    EXPECT_EQ(back.Money, Currency::Parse("12.5"));
    EXPECT_EQ(back.Colour, Color::Blue);
    EXPECT_EQ(back.Letter, '\xC0');
    EXPECT_EQ(back.Any, Variant("7"));
    EXPECT_EQ(back.Parts, 0b010u);  // sets are not stored

    // Floats read with either separator; text that is no finite number reads as 0.
    TIniFile ini((dir / "Data.ini").string());
    const struct {
        const char* ratio;
        double value;
    } floats[] = {{"2,5", 2.5}, {" 2.5 ", 2.5}, {"1e3", 1000}, {"abc", 0}, {"", 0}, {"1,2,3", 0},
                  {"nan", 0}, {"inf", 0}, {"-infinity", 0}, {"1e999", 0}};
    for (const auto& f : floats) {
        SCOPED_TRACE(f.ratio);
        ini.WriteString("Xt", "Ratio", f.ratio);
        ini.WriteString("Xt", "Count", f.ratio);
        LoadObjectFromDir(back, dir.string());
        EXPECT_EQ(back.Ratio, f.value);
        EXPECT_EQ(back.Count, 0);
    }
    ini.WriteString("Xt", "Colour", "Purple");
    EXPECT_THROW(LoadObjectFromDir(back, dir.string()), Exception);
}

TEST_F(XtReg, FolderFormKeepsEntriesAndMissingFoldersAreSkipped) {
    const auto dir = registry_.dir() / "d";
    TSample s;
    SaveObjectToDir(s, dir.string());
    TIniFile((dir / "Data.ini").string()).WriteString("Xt", "Old", "kept");
    SaveObjectToDir(s, dir.string());
    EXPECT_EQ(TIniFile((dir / "Data.ini").string()).ReadString("xt", "old", ""), "kept");

    s.Count = 9;
    LoadObjectFromDir(s, (registry_.dir() / "missing").string());
    EXPECT_EQ(s.Count, 9);
    EXPECT_FALSE(std::filesystem::exists(registry_.dir() / "missing"));
    // A folder that cannot be made (a file is in the way) writes nothing, silently.
    std::ofstream(registry_.dir() / "file") << "x";
    SaveObjectToDir(s, (registry_.dir() / "file" / "sub").string());
    EXPECT_FALSE(std::filesystem::exists(registry_.dir() / "file" / "sub"));
}

}  // namespace
