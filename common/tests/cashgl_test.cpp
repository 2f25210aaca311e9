#include "common/cashgl.h"
#include "common/varform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "common/variantstobuf.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"

using namespace tolver;

namespace {

// An array of n elements from the given ones, padded with Empty.
Variant Prefix(const std::vector<Variant>& all, std::size_t n) {
    std::vector<Variant> v(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(n, all.size())));
    v.resize(n);
    return Variant(SafeArray::Of(std::move(v)));
}

bool Raises(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kVariantReadError);
        return true;
    }
    return false;
}

const Variant kItem5 = VarArray({5, Variant()});
const Variant kNotANumber = "x";

// A form is a one-dimensional array from 0; the same elements from 1, or laid out in
// two dimensions, are refused.
TEST(CashGlReaders, OnlyOneDimensionFromZero) {
    const std::vector<Variant> items = {7, "Sorbel.CashDriverAuto", "/lib/Sorbel.csh"};
    SafeArray fromOne = SafeArray::Vector(1, 3);
    SafeArray twoDims({{3, 0}, {1, 0}});
    for (std::size_t i = 0; i < items.size(); ++i) {
        fromOne.elements()[i] = items[i];
        twoDims.elements()[i] = items[i];
    }
    TCashDriverProperties p;
    EXPECT_FALSE(Raises([&] { p.SetFromVariant(Variant(SafeArray::Of(items))); }));
    EXPECT_TRUE(Raises([&] { p.SetFromVariant(Variant(fromOne)); }));
    EXPECT_TRUE(Raises([&] { p.SetFromVariant(Variant(twoDims)); }));
    EXPECT_TRUE(Raises([&] { VarFormReader(Variant(fromOne), 0); }));
    EXPECT_TRUE(Raises([&] { VarFormReader(Variant(twoDims), 0); }));
}

// Each row: a reader, an element count (or a whole array), whether it raises, and a
// check of the fields afterwards (the object starts from "old" values).
TEST(CashGlReaders, ToleranceOfEachForm) {
    {
        SCOPED_TRACE("TCashDriverProperties");
        const std::vector<Variant> all = {7, "Sorbel.CashDriverAuto", "/lib/Sorbel.csh", "extra"};
        for (const auto& [n, raises, path] : std::vector<std::tuple<std::size_t, bool, const char*>>{
                 {1, true, "old"}, {2, false, "old"}, {3, false, "/lib/Sorbel.csh"}, {4, false, "/lib/Sorbel.csh"}}) {
            TCashDriverProperties p;
            p.FilePath = "old";
            EXPECT_EQ(Raises([&] { p.SetFromVariant(Prefix(all, n)); }), raises) << n;
            EXPECT_EQ(p.FilePath, path) << n;
            if (!raises) {
                EXPECT_EQ(p.AutoObjectName, "Sorbel.CashDriverAuto");
            }
        }
        TCashDriverProperties p;
        p.FilePath = "old";
        p.SetFromVariant(VarArray({1, "a", VarArray({1})}));  // element 2 does not convert: kept
        EXPECT_EQ(p.FilePath, "old");
    }
    {
        SCOPED_TRACE("TCashDriverSetup");
        const std::vector<Variant> all = {3, 9600, VarArray({1, "x"}), "blob", 7, true, false, "extra"};
        for (const auto& [n, raises] : std::vector<std::pair<std::size_t, bool>>{{6, true}, {7, false}, {8, false}}) {
            TCashDriverSetup s;
            EXPECT_EQ(Raises([&] { s.SetFromVariant(Prefix(all, n)); }), raises) << n;
            EXPECT_EQ(s.Baud, raises ? 0 : 9600) << n;
            EXPECT_EQ(s.NotificationOn, raises) << n;
            if (!raises) {
                EXPECT_EQ(s.AdvPropertiesData, Variant(7));
            }
        }
        TCashDriverSetup s;
        s.SetFromVariant(Prefix({300, 1, VarArray({1, "x"})}, 7));  // a port number keeps its low 8 bits
        EXPECT_EQ(s.ComNumber, 44);
    }
    {
        SCOPED_TRACE("TCashTaxProperties");
        const std::vector<Variant> all = {kItem5, "НДС", 20, Currency::Parse("1.23456"), "extra"};
        for (const auto& [n, raises, adv] : std::vector<std::tuple<std::size_t, bool, const char*>>{
                 {2, true, "9"}, {3, false, "9"}, {4, false, "1.2346"}, {5, false, "1.2346"}}) {
            TCashTaxProperties t;
            t.ValueAdv = Currency::Parse("9");
            EXPECT_EQ(Raises([&] { t.SetFromVariant(Prefix(all, n)); }), raises) << n;
            EXPECT_EQ(t.ValueAdv, Currency::Parse(adv)) << n;
            EXPECT_EQ(t.N, raises ? -1 : 5) << n;
        }
        TCashTaxProperties t;
        t.SetFromVariant(VarArray({kItem5, "a", 1, kNotANumber}));
        EXPECT_EQ(t.ValueAdv, Currency());
    }
    for (const bool cashier : {false, true}) {
        SCOPED_TRACE(cashier ? "TCashOpProperties" : "TCashDepProperties");
        const std::vector<Variant> all = {kItem5, "name", 3, "extra"};
        for (const auto& [n, raises] : std::vector<std::pair<std::size_t, bool>>{{2, true}, {3, false}, {4, true}}) {
            TCashDepProperties d;
            TCashOpProperties o;
            TXtCollectionItem& item = cashier ? static_cast<TXtCollectionItem&>(o) : d;
            EXPECT_EQ(Raises([&] { item.SetFromVariant(Prefix(all, n)); }), raises) << n;
            EXPECT_EQ(item.N, raises ? -1 : 5) << n;
            if (!raises) {
                EXPECT_EQ(cashier ? o.Password : std::to_string(d.NTax), "3");
            }
        }
    }
    {
        SCOPED_TRACE("TCashArtProperties");
        const std::vector<Variant> all = {kItem5, "Хлеб", 2, 3, Currency::Parse("4.5"), true, Currency::Parse("10")};
        const struct {
            Variant v;
            bool raises;
            const char* price;
            bool ret;
            const char* total;
        } rows[] = {
            {Prefix(all, 3), true, "1", false, "2"},
            {Prefix(all, 4), false, "1", false, "2"},
            {Prefix(all, 5), false, "4.5", false, "2"},
            {Prefix(all, 6), false, "4.5", true, "2"},
            {Prefix(all, 7), false, "4.5", true, "10"},
            // Each optional element on its own: a bad one is skipped, the next still read.
            {VarArray({kItem5, "Хлеб", 2, 3, kNotANumber, VarArray({1}), Currency::Parse("10")}), false, "1", false, "10"},
            // A bad required element changes nothing at all.
            {VarArray({kItem5, "Хлеб", 2, kNotANumber}), true, "1", false, "2"},
        };
        for (const auto& row : rows) {
            TCashArtProperties a;
            a.Price = Currency::Parse("1");
            a.TotalCount = Currency::Parse("2");
            a.Description = "old";
            EXPECT_EQ(Raises([&] { a.SetFromVariant(row.v); }), row.raises);
            EXPECT_EQ(a.Price, Currency::Parse(row.price));
            EXPECT_EQ(a.Return, row.ret);
            EXPECT_EQ(a.TotalCount, Currency::Parse(row.total));
            EXPECT_EQ(a.Description, row.raises ? "old" : "Хлеб");
            EXPECT_EQ(a.N, row.raises ? -1 : 5);
        }
    }
    {
        SCOPED_TRACE("TCashDriverConstraints");
        TCashDriverConstraints c;
        c.VersionName = "26.10.0";
        c.MaxDep = 16;
        c.Reserved1 = 4;
        c.Reserved2 = 3;
        c.ModeChoices[0] = "mode";
        c.ZReportItems = "Дневной по продажам;";
        const Variant v = CashDriverConstraintsToVariant(c);
        ASSERT_EQ(v.array().ubound(), 12);
        std::vector<Variant> all = v.array().elements();
        for (const auto& [n, raises] : std::vector<std::pair<std::size_t, bool>>{{12, true}, {13, false}, {14, true}}) {
            TCashDriverConstraints d;
            EXPECT_EQ(Raises([&] { VariantToCashDriverConstraints(d, Prefix(all, n)); }), raises) << n;
            EXPECT_EQ(d.MaxDep, raises ? 0 : 16) << n;
            EXPECT_EQ(d.Reserved2, raises ? 0 : 3) << n;
            EXPECT_EQ(d.Reserved1, 0) << n;  // never exchanged
            EXPECT_EQ(d.ModeChoices[0], "") << n;
            if (!raises) {
                EXPECT_EQ(d.ZReportItems, c.ZReportItems);
            }
        }
        // A failure half-way leaves the former limits whole.
        all[9] = kNotANumber;
        TCashDriverConstraints d = c;
        d.MaxDep = 99;
        EXPECT_TRUE(Raises([&] { VariantToCashDriverConstraints(d, Prefix(all, 13)); }));
        EXPECT_EQ(d.MaxDep, 99);
    }
}

// The forms are stored and exchanged as they are: each field at its element, of its
// type (a port number and the items' numbers as Integer), and read back the same. Every
// field holds a value of its own, so that two fields swapped show.
TEST(CashGlForms, EachFieldAtItsElement) {
    TSpoolerSetup s;
    s.DriverSetup.ComNumber = 3;
    s.DriverSetup.Baud = 19200;
    s.DriverSetup.ProtocolOn = true;
    s.DriverSetup.NotificationOn = false;
    s.DriverSetup.CashDriverProperties->CashType = 1;
    s.DriverSetup.CashDriverProperties->AutoObjectName = "Sorbel.CashDriverAuto";
    s.DriverSetup.CashDriverProperties->FilePath = "/lib/Sorbel.csh";
    s.DriverSetup.PropertiesData = "p";
    s.DriverSetup.AdvPropertiesData = "a";
    auto* tax = static_cast<TCashTaxProperties*>(s.TaxList.CreateItem(4));
    tax->PropertiesData = "t";
    tax->Description = "НДС";
    tax->Value = Currency::Parse("20");
    tax->ValueAdv = Currency::Parse("1.5");
    auto* dep = static_cast<TCashDepProperties*>(s.DepList.CreateItem(5));
    dep->Description = "Отдел";
    dep->NTax = 6;
    auto* art = static_cast<TCashArtProperties*>(s.ArtList.CreateItem(7));
    art->Description = "Хлеб";
    art->NDep = 8;
    art->NTax = 9;
    art->Price = Currency::Parse("12.34");
    art->Return = true;
    art->TotalCount = Currency::Parse("10");
    auto* op = static_cast<TCashOpProperties*>(s.OpList.CreateItem(11));
    op->Description = "Кассир";
    op->Password = "5173";
    s.DigitCount = 3;
    s.BeginMsg = {"A"};
    s.FinalMsg = {"B", "C"};
    s.ConfirmXReport = true;
    s.ConfirmZReport = false;
    s.AutoXReportsBefore = "0;";
    s.AutoZReportsBefore = "1;";
    s.AutoXReportsAfter = "2;";
    s.AutoZReportsAfter = "3;";
    const auto list = [](const Variant& item) { return VarArray({1, VarArray({item})}); };
    const Variant form = VarArray({
        VarArray({3, 19200, VarArray({1, "Sorbel.CashDriverAuto", "/lib/Sorbel.csh"}), "p", "a", true,
                  false}),
        list(VarArray({VarArray({4, "t"}), "НДС", Currency::Parse("20"), Currency::Parse("1.5")})),
        list(VarArray({VarArray({5, Variant()}), "Отдел", 6})),
        list(VarArray({VarArray({7, Variant()}), "Хлеб", 8, 9, Currency::Parse("12.34"), true, Currency::Parse("10")})),
        list(VarArray({VarArray({11, Variant()}), "Кассир", "5173"})),
        3, "A\r\n", "B\r\nC\r\n", true, false, "0;", "1;", "2;", "3;"});
    EXPECT_EQ(s.GetAsVariant(), form);
    TSpoolerSetup back;
    back.SetFromVariant(form);
    EXPECT_EQ(back.GetAsVariant(), form);

    TCashDriverConstraints c;
    c.VersionName = "v";
    c.MaxDep = 1;
    c.MaxArt = 2;
    c.MaxTax = 3;
    c.MaxOp = 4;
    c.NameLength = 5;
    c.Reserved2 = 6;
    c.HeaderLines = 7;
    c.FooterLines = 8;
    c.MsgLineWidth = 9;
    c.ProgramItems = "p;";
    c.XReportItems = "x;";
    c.ZReportItems = "z;";
    const Variant limits = VarArray({"v", 1, 2, 3, 4, 5, 6, 7, 8, 9, "p;", "x;", "z;"});
    EXPECT_EQ(CashDriverConstraintsToVariant(c), limits);
    TCashDriverConstraints d;
    VariantToCashDriverConstraints(d, limits);
    EXPECT_EQ(CashDriverConstraintsToVariant(d), limits);
}

TEST(CashGlReaders, SpoolerSetupForm) {
    TSpoolerSetup full;
    full.DigitCount = 3;
    full.BeginMsg = {"A", "B"};
    full.ConfirmXReport = true;
    full.ConfirmZReport = false;
    full.AutoXReportsBefore = "0;2;";
    full.AutoZReportsBefore = "1;";
    full.AutoXReportsAfter = "3;";
    full.AutoZReportsAfter = "4;";
    full.TaxList.CreateItem(1);
    std::vector<Variant> all = full.GetAsVariant().array().elements();
    ASSERT_EQ(all.size(), 14u);
    EXPECT_EQ(all[6], Variant("A\r\nB\r\n"));
    const struct {
        std::size_t n;
        bool raises;
        bool confirmX;
        const char* xBefore;
        const char* zBefore;
    } rows[] = {
        {7, true, false, "", ""},
        {8, false, false, "", ""},
        {11, false, true, "0;2;", ""},
        {14, false, true, "0;2;", "1;"},
        {15, false, true, "0;2;", "1;"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        TSpoolerSetup s;
        EXPECT_EQ(Raises([&] { s.SetFromVariant(Prefix(all, row.n)); }), row.raises);
        EXPECT_EQ(s.DigitCount, row.raises ? 2 : 3);
        EXPECT_EQ(s.TaxList.Count(), row.raises ? 0 : 1);
        EXPECT_EQ(s.BeginMsg.size(), row.raises ? 0u : 2u);
        EXPECT_EQ(s.ConfirmXReport, row.confirmX);
        EXPECT_EQ(s.ConfirmZReport, row.n < 11);  // default True until element 9 is read
        EXPECT_EQ(s.AutoXReportsBefore, row.xBefore);
        EXPECT_EQ(s.AutoZReportsBefore, row.zBefore);
    }
    // The guard ends at the first bad element of 8 to 13.
    all[9] = VarArray({1});
    TSpoolerSetup s;
    s.SetFromVariant(Prefix(all, 14));
    EXPECT_TRUE(s.ConfirmXReport);
    EXPECT_TRUE(s.ConfirmZReport);
    EXPECT_EQ(s.AutoXReportsBefore, "");
}

class CashGlRegistry : public RegistryTest {
protected:
    static void Sample(TSpoolerSetup& s) {
        s.DriverSetup.ComNumber = 2;
        s.DriverSetup.Baud = 9600;
        s.DriverSetup.ProtocolOn = true;
        s.DriverSetup.CashDriverProperties->CashType = 1;
        s.DriverSetup.CashDriverProperties->AutoObjectName = "Sorbel.CashDriverAuto";
        s.DriverSetup.PropertiesData = VarArray({VarArray({1, "a", ""}), 400});
        auto* tax = static_cast<TCashTaxProperties*>(s.TaxList.Add());
        tax->Description = "НДС";
        tax->Value = Currency::FromUnits(20);
        auto* art = static_cast<TCashArtProperties*>(s.ArtList.Add());
        art->Description = "Хлеб";
        art->Price = Currency::Parse("12.5");
        art->Return = true;
        static_cast<TCashOpProperties*>(s.OpList.Add())->Password = "5173";
        static_cast<TCashDepProperties*>(s.DepList.Add())->NTax = 1;
        s.DigitCount = 3;
        s.BeginMsg = {"A", "B"};
        s.FinalMsg = {"Спасибо"};
        s.AutoXReportsBefore = "0;";
    }
};

TEST_F(CashGlRegistry, SetupDefaultsAndRegistryLayout) {
    const TSpoolerSetup fresh;
    EXPECT_EQ(fresh.DigitCount, 2);
    EXPECT_FALSE(fresh.ConfirmXReport);
    EXPECT_TRUE(fresh.ConfirmZReport);
    EXPECT_TRUE(fresh.DriverSetup.NotificationOn);
    EXPECT_EQ(fresh.TaxList.FirstN, 1);
    EXPECT_EQ(fresh.ArtList.Count(), 0);
    EXPECT_EQ(fresh.AutoZReportsAfter, "");

    TSpoolerSetup s;
    Sample(s);
    s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kSpoolerSetupKey, false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"ArtList", "DepList", "DriverSetup", "OpList", "TaxList"}));
    EXPECT_EQ(reg.GetValueNames(),
              (std::vector<std::string>{"DigitCount", "BeginMsg", "FinalMsg", "ConfirmXReport", "ConfirmZReport",
                                        "AutoXReportsBefore", "AutoZReportsBefore", "AutoXReportsAfter",
                                        "AutoZReportsAfter"}));
    EXPECT_EQ(reg.ReadInteger("DigitCount"), 3);
    EXPECT_EQ(reg.ReadString("BeginMsg"), "A\r\nB\r\n");
    const std::pair<const char*, std::int32_t> bools[] = {{"ConfirmXReport", 0}, {"ConfirmZReport", 1}};
    for (const auto& [name, value] : bools) {
        EXPECT_EQ(reg.GetDataType(name), RegDataType::DWord) << name;
        EXPECT_EQ(reg.ReadInteger(name), value) << name;
    }
    ASSERT_TRUE(reg.OpenKey("DriverSetup", false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"ComNumber", "Baud", "ProtocolOn", "NotificationOn",
                                                             "Properties", "AdvProperties"}));
    EXPECT_EQ(reg.ReadInteger("ComNumber"), 2);
    EXPECT_EQ(reg.ReadString("ProtocolOn"), "True");
    EXPECT_EQ(reg.ReadString("NotificationOn"), "True");
    EXPECT_EQ(reg.ReadBinaryData("Properties"), VariantToBuf(s.DriverSetup.PropertiesData));
    EXPECT_EQ(reg.ReadBinaryData("AdvProperties"), (std::vector<std::uint8_t>{0, 0}));  // Unassigned
    ASSERT_TRUE(reg.OpenKey("CashDriverProperties", false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"CashType", "AutoObjectName", "FilePath"}));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup\\TaxList\\1", false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"N", "Description", "Value", "ValueAdv"}));
    EXPECT_EQ(reg.ReadFloat("Value"), 20.0);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup\\ArtList\\1", false));
    EXPECT_EQ(reg.ReadString("Return"), "True");
    EXPECT_EQ(reg.GetDataType("TotalCount"), RegDataType::Binary);

    TSpoolerSetup back;
    back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    EXPECT_EQ(back.GetAsVariant(), s.GetAsVariant());
    EXPECT_TRUE(back.DriverSetup.AdvPropertiesData.isEmpty());
}

TEST_F(CashGlRegistry, LoadStopsAtTheFirstBadPlainValue) {
    TSpoolerSetup s;
    Sample(s);
    s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    const struct {
        const char* spoil;
        bool asString;                // written as a text instead of deleted
        bool digits, texts, theRest;  // what was read: DigitCount, the texts, the switches and lists
    } rows[] = {
        {"DigitCount", false, false, false, false},
        {"ConfirmXReport", false, true, true, false},
        {"ConfirmXReport", true, true, true, false},
        {"BeginMsg", false, true, true, true},  // an absent text reads as ""
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.spoil);
        s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        {
            TRegistry reg(HKEY_LOCAL_MACHINE);
            ASSERT_TRUE(reg.OpenKey(kSpoolerSetupKey, false));
            if (row.asString)
                reg.WriteString(row.spoil, "1");
            else
                reg.DeleteValue(row.spoil);
        }
        TSpoolerSetup back;
        back.ConfirmZReport = false;
        back.BeginMsg = {"old"};
        back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        EXPECT_EQ(back.DriverSetup.Baud, 9600);  // the subkeys load all the same
        EXPECT_EQ(back.ArtList.Count(), 1);
        EXPECT_EQ(back.DigitCount, row.digits ? 3 : 2);
        EXPECT_EQ(back.FinalMsg.size(), row.texts ? 1u : 0u);
        EXPECT_EQ(back.BeginMsg.size(), !row.texts ? 1u : std::strcmp(row.spoil, "BeginMsg") == 0 ? 0u : 2u);
        EXPECT_EQ(back.ConfirmZReport, row.theRest);
        EXPECT_EQ(back.AutoXReportsBefore, row.theRest ? "0;" : "");
    }
}

TEST_F(CashGlRegistry, SavingReplacesListsAndDriverSetup) {
    TSpoolerSetup s;
    Sample(s);
    s.ArtList.Add();
    s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup\\DriverSetup\\CashDriverProperties", false));
        reg.WriteString("Stale", "x");
        ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup", false));
        reg.WriteString("Other", "kept");  // the setup key itself is not cleared
    }
    s.ArtList.DeleteItem(1);
    s.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup\\ArtList", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"1"});
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup\\DriverSetup\\CashDriverProperties", false));
    EXPECT_FALSE(reg.ValueExists("Stale"));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Setup", false));
    EXPECT_EQ(reg.ReadString("Other"), "kept");

    // A driver setup key without blobs, or with empty ones, keeps the blobs.
    ASSERT_TRUE(reg.OpenKey("DriverSetup", false));
    reg.DeleteValue("Properties");
    reg.WriteBinaryData("AdvProperties", {});
    TCashDriverSetup d;
    d.PropertiesData = "p";
    d.AdvPropertiesData = "a";
    d.LoadFromRegistry(HKEY_LOCAL_MACHINE, "\\Software\\Norvale\\Spooler\\Setup\\DriverSetup");
    EXPECT_EQ(d.PropertiesData, Variant("p"));
    EXPECT_EQ(d.AdvPropertiesData, Variant("a"));
    EXPECT_EQ(d.Baud, 9600);
}

TEST(CashGlAssign, CopiesContentNeverBindings) {
    TSpoolerSetup a, b;
    b.DriverSetup.CashDriverProperties->AutoObjectName = "Dalvern.RegFisc2160CashDriverAuto";
    b.DriverSetup.DriverObject = 1;
    b.DriverSetup.EventIID = "{iid}";
    b.DriverSetup.AdvPropertiesData = "adv";
    b.BeginMsg = {"x"};
    static_cast<TCashArtProperties*>(b.ArtList.Add())->TotalCount = Currency::FromUnits(3);
    static_cast<TCashTaxProperties*>(b.TaxList.Add())->ValueAdv = Currency::FromUnits(2);
    a.DriverSetup.EventIID = "mine";
    a.Assign(b);
    EXPECT_EQ(a.GetAsVariant(), b.GetAsVariant());
    EXPECT_TRUE(a.DriverSetup.DriverObject.isEmpty());
    EXPECT_EQ(a.DriverSetup.EventIID, "mine");
    EXPECT_NE(a.DriverSetup.CashDriverProperties.get(), b.DriverSetup.CashDriverProperties.get());
    a.DriverSetup.CashDriverProperties->AutoObjectName = "changed";
    EXPECT_EQ(b.DriverSetup.CashDriverProperties->AutoObjectName, "Dalvern.RegFisc2160CashDriverAuto");
    EXPECT_EQ(a.ArtList.Item<TCashArtProperties>(0)->TotalCount, Currency::FromUnits(3));
    EXPECT_EQ(a.TaxList.Item<TCashTaxProperties>(0)->ValueAdv, Currency::FromUnits(2));
    // Items of another class are refused.
    TCashTaxProperties tax;
    EXPECT_THROW(tax.Assign(*b.ArtList.GetItem(0)), Exception);
}

TEST(CashGlHelpers, LinesInSemicolonListsAndNames) {
    const struct {
        const char* text;
        std::vector<std::string> lines;
    } texts[] = {{"A\r\nB\r\n", {"A", "B"}}, {"A\rB\nC", {"A", "B", "C"}}, {"", {}}, {"\r\n\r\n", {"", ""}}};
    for (const auto& t : texts) EXPECT_EQ(TextToLines(t.text), t.lines) << t.text;
    EXPECT_EQ(LinesToText({"A", "B"}), "A\r\nB\r\n");

    const struct {
        const char* list;
        int i;
        bool in;
    } lists[] = {{";1;11;", 11, true}, {";11;", 1, false}, {"1;2;", 1, false}, {";0;2;", 2, true}, {";;", 0, false}};
    for (const auto& l : lists) EXPECT_EQ(InSemicolonList(l.list, l.i), l.in) << l.list << " " << l.i;

    ASSERT_EQ(CashOperationNames.size(), 9u);
    EXPECT_EQ(CashOperationNames[0], "нет");
    EXPECT_EQ(CashOperationNames[8], "Внесение по артикулу");
}

TEST(CashGlHelpers, WrapText) {
    const struct {
        const char* text;
        int width;
        const char* wrapped;
    } cases[] = {
        {"ab cd ef gh ij", 10, "ab cd ef  gh ij"},
        {"abcdefghijklmnopqrstuvwxy", 10, "abcdefghijklmnopqrstuvwxy"},
        {" \r\n  \n", 10, ""},
        {"ab\r\ncd", 3, "ab cd"},
        {"ab\r\ncd", 2, "abcd"},
        {"ab  cd   ", 4, "ab  cd"},
        {"один два три", 5, "один два  три"},  // characters, not bytes
        {"a b", 0, "a b"},
        {"a\r\nb  c ", -3, "a b c"},
    };
    for (const auto& c : cases) EXPECT_EQ(WrapText(c.text, c.width), c.wrapped) << c.text << " / " << c.width;
}

}  // namespace
