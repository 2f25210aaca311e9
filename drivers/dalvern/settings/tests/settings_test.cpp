// The identity, the two settings blobs of the "РФ 2160" driver and its firmware-version
// table.
#include <gtest/gtest.h>

#include <algorithm>

#include "drivers/dalvern/settings/regfisc2160gl.h"
#include "platform/base/exception.h"
#include "platform/testing/variant_read_error.h"

using namespace tolver;

namespace {

using testutil::ExpectReadError;

Variant Base(const char* name) { return VarArray({2, name, "/opt/Dalvern.csh"}); }

// The defaults take only the driver's identity; the protocol settings stay as made.
TEST(Exports, DefaultPropertiesNameTheDriverOnly) {
    TCashRegFisc2160DriverProperties p;
    p.FilePath = "/opt/tolver/Dalvern.csh";
    GetRegFisc2160DefaultProperties(p);
    EXPECT_EQ(p.CashType, 3);
    EXPECT_EQ(p.AutoObjectName, "Dalvern.RegFisc2160CashDriverAuto");
    EXPECT_EQ(p.FilePath, "/opt/tolver/Dalvern.csh");
    EXPECT_EQ(p.WaitCheckOutPrint, 5);
    EXPECT_EQ(p.WaitCheckOutLongPrint, 30);
    EXPECT_EQ(p.Priority, 3);
    EXPECT_FALSE(p.IgnoreReplyFormatError);
}

TEST(Fisc2160Settings, BasicBlobDefaultsAndRoundTrip) {
    TCashRegFisc2160DriverProperties p;
    EXPECT_EQ(p.GetAsVariant(), VarArray({VarArray({0, "", ""}), 3, 5, 30, false}));

    p.SetFromVariant(VarArray({Base("Dalvern.Auto"), 6, 12, 45, true}));
    EXPECT_EQ(p.AutoObjectName, "Dalvern.Auto");
    EXPECT_EQ(p.FilePath, "/opt/Dalvern.csh");
    EXPECT_EQ(p.GetAsVariant(), VarArray({Base("Dalvern.Auto"), 6, 12, 45, true}));

    // Assign copies the base part too; Create makes a fresh default object.
    TCashRegFisc2160DriverProperties q;
    q.Assign(p);
    EXPECT_EQ(q.GetAsVariant(), p.GetAsVariant());
    auto fresh = p.Create();
    EXPECT_EQ(dynamic_cast<TCashRegFisc2160DriverProperties&>(*fresh).GetAsVariant(),
              TCashRegFisc2160DriverProperties().GetAsVariant());
}

TEST(Fisc2160Settings, BasicBlobShortFormsKeepTheMissingFields) {
    struct Case {
        const char* what;
        Variant blob;
        int print, longPrint;
        bool ignore;
    } cases[] = {
        {"two elements: waits and flag kept", VarArray({Base("A"), 1}), 9, 70, true},
        {"no element 3: only the long wait kept", VarArray({Base("A"), 1, 11}), 11, 70, true},
        {"no element 4: flag kept", VarArray({Base("A"), 1, 11, 22}), 11, 22, true},
        {"element 2 unreadable: both waits kept", VarArray({Base("A"), 1, VarArray({1}), 22, false}), 9, 70, false},
    };
    for (const Case& c : cases) {
        TCashRegFisc2160DriverProperties p;
        p.WaitCheckOutPrint = 9;
        p.WaitCheckOutLongPrint = 70;
        p.IgnoreReplyFormatError = true;
        p.SetFromVariant(c.blob);
        EXPECT_EQ(p.AutoObjectName, "A") << c.what;
        EXPECT_EQ(p.Priority, 1) << c.what;
        EXPECT_EQ(p.WaitCheckOutPrint, c.print) << c.what;
        EXPECT_EQ(p.WaitCheckOutLongPrint, c.longPrint) << c.what;
        EXPECT_EQ(p.IgnoreReplyFormatError, c.ignore) << c.what;
    }
}

TEST(Fisc2160Settings, BadArraysAreRefused) {
    TCashRegFisc2160DriverProperties p;
    TCashRegFisc2160DriverAdvProperties a;
    const Variant oneElement = VarArray({Base("A")});
    SafeArray fromOne = SafeArray::Vector(1, 3);
    for (Variant& e : fromOne.elements()) e = 1;
    const Variant startsAtOne{fromOne};
    for (const Variant& v : {oneElement, startsAtOne, Variant(5), Variant()}) {
        ExpectReadError(p, v);
        ExpectReadError(a, v);
    }
    // Fields read before the failure keep their new values.
    TCashRegFisc2160DriverProperties q;
    ExpectReadError(q, VarArray({Base("Read"), VarArray({1})}));
    EXPECT_EQ(q.AutoObjectName, "Read");
}

TEST(Fisc2160Settings, FiscalBlob) {
    TCashRegFisc2160DriverAdvProperties a;
    EXPECT_EQ(a.GetAsVariant(), VarArray({"", "", true, false, false}));

    a.SetFromVariant(VarArray({"12345678901234", "R-77", false, true, true}));
    EXPECT_EQ(a.GetAsVariant(), VarArray({"12345678901234", "R-77", false, true, true}));

    // Two codes only; an unconvertible flag is skipped and the rest still read.
    TCashRegFisc2160DriverAdvProperties b;
    b.Assign(a);
    b.SetFromVariant(VarArray({"T", "R"}));
    EXPECT_EQ(b.GetAsVariant(), VarArray({"T", "R", false, true, true}));
    b.SetFromVariant(VarArray({"T", "R", VarArray({1}), false}));
    EXPECT_EQ(b.GetAsVariant(), VarArray({"T", "R", false, false, true}));
}

TEST(Fisc2160Versions, FourRowsDifferingOnlyInName) {
    const char* names[] = {"26.10.0", "2160.01.02", "2160.01.03", "2160.01.O"};
    for (int row = 0; row < kRegFisc2160VersionCount; ++row) {
        const TCashDriverConstraints* c = RegFisc2160Version(row);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->VersionName, names[row]);
        EXPECT_EQ(c->MaxDep, 16);
        EXPECT_EQ(c->MaxArt, 8000);
        EXPECT_EQ(c->MaxTax, 8);
        EXPECT_EQ(c->MaxOp, 15);
        EXPECT_EQ(c->NameLength, 24);
        EXPECT_EQ(c->Reserved2, 3);
        EXPECT_EQ(c->HeaderLines, 5);
        EXPECT_EQ(c->FooterLines, 5);
        EXPECT_EQ(c->MsgLineWidth, 35);
        EXPECT_EQ(c->ZReportItems, "Дневной по продажам;Кассиров;По артикулам;");
        EXPECT_EQ(c->ProgramItems, RegFisc2160Version(0)->ProgramItems);
        EXPECT_EQ(c->XReportItems, RegFisc2160Version(0)->XReportItems);
        for (const std::string& choice : c->ModeChoices) EXPECT_EQ(choice, "");
    }
    // The last character of row 3 is the Latin O (0x4F), not the digit 0 or a Cyrillic О.
    EXPECT_EQ(RegFisc2160Version(3)->VersionName.back(), 'O');
    EXPECT_EQ(RegFisc2160Version(-1), nullptr);
    EXPECT_EQ(RegFisc2160Version(4), nullptr);

    // Nine programming blocks and eight X reports, each name followed by ";".
    const auto count = [](const std::string& s) { return std::count(s.begin(), s.end(), ';'); };
    EXPECT_EQ(count(RegFisc2160Version(0)->ProgramItems), 9);
    EXPECT_EQ(count(RegFisc2160Version(0)->XReportItems), 8);
    EXPECT_EQ(RegFisc2160Version(0)->ProgramItems.rfind("Автоотрезчик;"),
              RegFisc2160Version(0)->ProgramItems.size() - std::string("Автоотрезчик;").size());
}

}  // namespace
