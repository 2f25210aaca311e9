// The Sorbel settings blobs (their layout and readers) and the firmware-version table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sorbel/settings/samser350fgl.h"
#include "drivers/sorbel/settings/samser350fsettings.h"
#include "platform/testing/variant_read_error.h"

using namespace tolver;

namespace {

using testutil::ExpectReadError;

// ---- blobs ----------------------------------------------------------------------------

TEST(SettingsBlobs, BasicBlobLayoutAndReader) {
    TCashSamsER350FDriverProperties p;
    EXPECT_EQ(p.GetAsVariant(), VarArray({VarArray({0, "", ""}), 400, 2000, 2, 3, 0}));  // Model before Priority

    // Element 5 is optional: without it (or unconvertible) KeyCheckMode stays.
    p.KeyCheckMode = 1;
    p.SetFromVariant(VarArray({VarArray({1, "Sorbel.CashDriverAuto"}), 500, 3000, 258, 5}));
    EXPECT_EQ(p.GetAsVariant(), VarArray({VarArray({1, "Sorbel.CashDriverAuto", ""}), 500, 3000, 2, 5, 1}));
    p.SetFromVariant(VarArray({VarArray({1, "x"}), 1, 2, 3, 4, "no number"}));
    EXPECT_EQ(p.KeyCheckMode, 1);
    p.SetFromVariant(VarArray({VarArray({1, "x"}), 1, 2, 3, 4, 0}));
    EXPECT_EQ(p.KeyCheckMode, 0);

    // High bound 3 is refused before anything is stored; a bad element stops there.
    TCashSamsER350FDriverProperties q;
    ExpectReadError(q, VarArray({VarArray({1, "x"}), 1, 2, 3}));
    ExpectReadError(q, Variant(5));
    EXPECT_EQ(q.WaitCheckOutPrint, 400);
    ExpectReadError(q, VarArray({VarArray({7, "y"}), 900, "slow", 3, 4}));
    EXPECT_EQ(q.CashType, 7);
    EXPECT_EQ(q.WaitCheckOutPrint, 900);
    EXPECT_EQ(q.WaitCheckOutLongPrint, 2000);

    TCashSamsER350FDriverProperties copy;
    copy.Assign(p);
    EXPECT_EQ(copy.GetAsVariant(), p.GetAsVariant());
}

TEST(SettingsBlobs, AdvancedBlobHasExactlyTenElements) {
    TCashSamsER350FDriverAdvProperties a;
    EXPECT_EQ(a.GetAsVariant(), VarArray({0, 0, 0, 0, 0, 0, 0, 3, 0, false}));
    a.SetFromVariant(VarArray({1, 0, 1, 5, 1, 0, 1, 4, 1, true}));
    EXPECT_EQ(a.GetAsVariant(), VarArray({1, 0, 1, 5, 1, 0, 1, 4, 1, true}));

    TCashSamsER350FDriverAdvProperties b;
    ExpectReadError(b, VarArray({1, 1, 1, 1, 1, 1, 1, 1, 1, true, 0}));  // high bound 10
    ExpectReadError(b, VarArray({1, 1, 1, 1, 1, 1, 1, 1, 1}));           // high bound 8
    EXPECT_EQ(b.SysCond(1), 0);
    // Stored one by one: a bad element leaves the earlier ones loaded.
    ExpectReadError(b, VarArray({2, 2, 2, 2, 2, "x", 2, 2, 2, true}));
    EXPECT_EQ(b.SysCond(5), 2);
    EXPECT_EQ(b.SysCond(6), 0);
    EXPECT_EQ(b.SysCond(8), 3);

    TCashSamsER350FDriverAdvProperties c;
    c.Assign(a);
    EXPECT_EQ(c.GetAsVariant(), a.GetAsVariant());
}

TEST(FirmwareTable, FourRows) {
    const struct {
        int maxArt, maxOp;
        const char* name;
    } rows[] = {
        {250, 4, "Версия 03 (<КОНТРОЛЬНА СУМА> <b1c1>)"},
        {250, 8, "Версия 04 (ER-350F STU-04 К.С. <b15e>)"},
        {900, 9, "Версия 05 (ER-350F STU-05 К.С. <5a26>)"},
        {900, 10, "Версия 05.1 (ER-350F STU-05 К.С. <a333>)"},
    };
    for (int m = 0; m < 4; ++m) {
        SCOPED_TRACE(m);
        const TCashDriverConstraints* v = SamsER350FVersion(m);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->VersionName, rows[m].name);
        EXPECT_EQ(v->MaxArt, rows[m].maxArt);
        EXPECT_EQ(v->MaxOp, rows[m].maxOp);
        EXPECT_EQ(v->MaxDep, 8);
        EXPECT_EQ(v->MaxTax, 4);
        EXPECT_EQ(v->Reserved1, 0);
        EXPECT_EQ(v->NameLength, 12);
        EXPECT_EQ(v->Reserved2, 3);
        EXPECT_EQ(v->HeaderLines, 5);
        EXPECT_EQ(v->FooterLines, 0);
        EXPECT_EQ(v->MsgLineWidth, 26);
        EXPECT_EQ(v->ProgramItems, "Время;Информация на чеке;Системные режимы;Количество дробных знаков;Отделы;Артикулы;Ставки НДС;");
        EXPECT_EQ(v->XReportItems, "Финансовый дневной;Общий по артикулам;Кассиров;Почасовый;");
        EXPECT_EQ(v->ZReportItems, "Финансовый дневной;Общий по артикулам;Кассиров;Почасовый;");
        const std::vector<std::string> choices(v->ModeChoices.begin(), v->ModeChoices.end());
        if (m == 0)
            EXPECT_EQ(choices, (std::vector<std::string>{"1 строка", "1 строка", "2 строки", "3 строки", ""}));
        else
            EXPECT_EQ(choices, (std::vector<std::string>{"Ничего", "Конец чека", "Конец чека", "Конец строки",
                                                         "Все (обязательный режим)"}));
    }
    for (const int bad : {-1, 4, 255}) EXPECT_EQ(SamsER350FVersion(bad), nullptr);
}

}  // namespace
