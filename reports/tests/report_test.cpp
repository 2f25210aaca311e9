// The report base: the day walk and its progress, the sinks, the headers, the
// properties string, the options-server lookup, and the text formatting.

#include <gtest/gtest.h>

#include "reports/merrow/merrowreport.h"
#include "reports/report.h"
#include "reports/reportformat.h"
#include "reports/vora/vorareport.h"
#include "report_fixture.h"

namespace tolver {
namespace {

using namespace testutil;

struct Call {
    double day, from, to;
};

class TTestReport final : public TPropertiesReport {
public:
    static const ComClass& Class() {
        static const ComClass cls{.clsid = MakeGUID("{11111111-2222-3333-4444-555555555555}"),
                                  .progId = {},
                                  .description = "Группа|Тестовый отчет"};
        return cls;
    }
    TTestReport() : TPropertiesReport(Class()) {}

    std::vector<Call> calls;
    void ReadDayFlat(double Day, double TimeFrom, double TimeTo) override { calls.push_back({Day, TimeFrom, TimeTo}); }
    void ReadDayNames(double Day, double, double) override {
        KnownNames.Add("Газ");
        KnownNames.Add("газ");
        KnownNames.Add("Вода");
    }
    void BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) override {
        ScanDaysFlat(DateFrom, DateTo);
        Body = DoProgress(100) ? "body\r\n" : "";
    }
    void BuildOperatorBody(const THostOperator& Operator, std::string& Body) override {
        Body = ScanShifts(Operator, &TReport::ScanDaysFlat) ? "operator body\r\n" : "";
    }
};

class ReportBase : public ReportFixture {
protected:
    ComPtr<TTestReport> report = MakeComObject<TTestReport>();
    ComPtr<TRecordingSink> sink = ComPtr<TRecordingSink>(new TRecordingSink());

    void Advise() { ASSERT_EQ(report->Advise(static_cast<IReportProgress*>(sink.get())), S_OK); }
};

double Ms(double timeOfDay) { return std::round(timeOfDay * 86400000.0); }

TEST_F(ReportBase, ThreeDaysAreReadDayByDayWithRisingProgress) {
    Advise();
    report->ScanDaysFlat(At(0, 8, 0), At(2, 20, 0));
    ASSERT_EQ(report->calls.size(), 3u);
    const double eod = 86399999;  // the whole last second of a day belongs to it
    const double want[3][3] = {{Day(0), 8 * 3600000.0, eod}, {Day(1), 0, eod}, {Day(2), 0, 20 * 3600000.0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(report->calls[i].day, want[i][0]) << i;
        EXPECT_EQ(Ms(report->calls[i].from), want[i][1]) << i;
        EXPECT_EQ(Ms(report->calls[i].to), want[i][2]) << i;
    }
    EXPECT_EQ(sink->percents, (std::vector<int>{33, 67, 100}));
}

TEST_F(ReportBase, EmptyAndReversedRanges) {
    report->ScanDaysFlat(At(0, 10, 0), At(0, 9, 0));  // one call, nothing in it
    ASSERT_EQ(report->calls.size(), 1u);
    EXPECT_GT(report->calls[0].from, report->calls[0].to);
    report->calls.clear();
    report->ScanDaysFlat(At(3, 0, 0), At(1, 0, 0));
    EXPECT_TRUE(report->calls.empty());
    report->ScanDaysFlat(std::nan(""), At(1, 0, 0));
    EXPECT_TRUE(report->calls.empty());
}

TEST_F(ReportBase, AStoppingSinkEndsTheWalkButEverySinkIsAsked) {
    ComPtr<TRecordingSink> other(new TRecordingSink());
    sink->stopAt = 0;
    Advise();
    ASSERT_EQ(report->Advise(static_cast<IReportProgress*>(other.get())), S_OK);
    const std::string text = report->PeriodReport(At(0, 8, 0), At(2, 20, 0), "");
    EXPECT_EQ(report->calls.size(), 1u);
    EXPECT_EQ(other->percents, (std::vector<int>{33, 100}));  // the stop answer of one does not skip the other
    EXPECT_EQ(text, report->HeaderText + "\r\n");             // header, no body
}

TEST_F(ReportBase, SinksAdviseUnadviseAndUnadviseThemselvesDuringTheWalk) {
    EXPECT_EQ(report->Advise(nullptr), E_POINTER);
    EXPECT_EQ(report->Unadvise(static_cast<IReportProgress*>(sink.get())), E_FAIL);
    Advise();
    Advise();  // twice: asked twice, until unadvised twice
    EXPECT_TRUE(report->DoProgress(10));
    EXPECT_EQ(sink->percents, (std::vector<int>{10, 10}));
    EXPECT_EQ(report->Unadvise(static_cast<IReportProgress*>(sink.get())), S_OK);
    sink->percents.clear();
    // A sink that leaves while it is asked: the walk goes on to its end.
    sink->during = [&] { report->Unadvise(static_cast<IReportProgress*>(sink.get())); };
    report->ScanDaysFlat(At(0, 8, 0), At(2, 20, 0));
    EXPECT_EQ(report->calls.size(), 3u);
    EXPECT_EQ(sink->percents, (std::vector<int>{33}));
    // A sink without IReportProgress (here the report itself) is skipped.
    IUnknown* plain = static_cast<IReport*>(report.get());
    ASSERT_EQ(report->Advise(plain), S_OK);
    EXPECT_TRUE(report->DoProgress(50));
    EXPECT_EQ(report->Unadvise(plain), S_OK);
}

TEST_F(ReportBase, OperatorProgressNeverGoesBackwards) {
    Advise();
    THostOperator op{"Иванова", {{At(0, 8, 0), At(1, 20, 0), "Иванова"}, {At(2, 8, 0), At(2, 20, 0), "Иванова"}}};
    const std::string text = report->OperatorReport(Day(0), Day(2), &op, "");
    EXPECT_EQ(text, report->HeaderText + "\r\noperator body\r\n");
    EXPECT_EQ(sink->percents, (std::vector<int>{25, 50, 50, 100, 100}));
    EXPECT_EQ(report->ShiftCount, 0);  // a later period report counts from scratch
    sink->percents.clear();
    report->ScanDaysFlat(At(0, 8, 0), At(1, 8, 0));
    EXPECT_EQ(sink->percents, (std::vector<int>{50, 100}));
}

TEST_F(ReportBase, Headers) {
    const std::string period = report->PeriodReport(At(0, 8, 5), At(0, 20, 0), "Касса 2");
    EXPECT_EQ(period,
              "  ТЕСТОВЫЙ ОТЧЕТ ЗА ПЕРИОД\r\n  С 08:05 ПО 20:00 01.03.2026\r\n\r\n  Касса 2\r\n\r\nbody\r\n");
    report->PeriodReport(At(0, 8, 0), At(2, 20, 0), "");
    EXPECT_EQ(report->HeaderText, "  ТЕСТОВЫЙ ОТЧЕТ ЗА ПЕРИОД\r\n  С 08:00 01.03.2026 ПО 20:00 03.03.2026\r\n\r\n");
    THostShift shift{At(1, 7, 30), At(1, 19, 0), "Петрова А."};
    EXPECT_EQ(report->ShiftReport(&shift, ""),
              "  ТЕСТОВЫЙ ОТЧЕТ ЗА СМЕНУ\r\n  Начало смены: 02.03.2026 в 07:30\r\n  Оператор: Петрова А.\r\n\r\n"
              "\r\nbody\r\n");
    THostOperator op{"Петрова А.", {}};
    EXPECT_EQ(report->OperatorReport(At(0, 0, 0), At(0, 23, 59), &op, ""),
              "  ТЕСТОВЫЙ ОТЧЕТ ПО ОПЕРАТОРУ\r\n  С 00:00 ПО 23:59 01.03.2026\r\n  Оператор: Петрова А.\r\n\r\n"
              "\r\noperator body\r\n");
    EXPECT_EQ(report->ShiftReport(nullptr, ""), "");
    EXPECT_EQ(report->OperatorReport(0, 0, nullptr, ""), "");
    EXPECT_EQ(report->GetGroup(), "Группа");
    GUID id;
    EXPECT_EQ(report->GetClassID(&id), S_OK);
    EXPECT_EQ(id, TTestReport::Class().clsid);
}

TEST_F(ReportBase, PropertiesStringRoundTrip) {
    struct Case {
        const char* text;
        int mode, option;
        const char* chosen;  // ChosenNames' text
    } cases[] = {
        {"3:7:Газ\r\nвода\r\n", 3, 7, "вода\r\nГаз\r\n"},
        {"x:y:Газ", 0, 0, "Газ\r\n"},
        {"1::Газ:Свет", 1, 0, "Газ:Свет\r\n"},  // only the first two colons split
        {"2", 2, 0, ""},
        {"", 0, 0, ""},
        {"99999999999:-4:\n\nгаз\rГАЗ", 0, -4, "газ\r\n"},
    };
    for (const Case& c : cases) {
        report->SetProperties(c.text);
        EXPECT_EQ(report->Mode, c.mode) << c.text;
        EXPECT_EQ(report->Option, c.option) << c.text;
        EXPECT_EQ(report->ChosenNames.Text(), c.chosen) << c.text;
        const std::string again = report->GetProperties();
        report->SetProperties(again);
        EXPECT_EQ(report->GetProperties(), again) << c.text;
    }
    report->SetProperties("x:y:Газ");
    EXPECT_EQ(report->GetProperties(), "0:0:Газ\r\n");
}

TEST_F(ReportBase, NamesAreListedSortedOnceWhateverTheirCase) {
    Advise();
    EXPECT_EQ(report->ListNames(Day(0), Day(1)), "Вода\r\nГаз\r\n");
    EXPECT_EQ(sink->percents.back(), 100);
    THostOperator op{"", {{At(0, 8, 0), At(0, 9, 0), ""}, {At(1, 8, 0), At(1, 9, 0), ""}}};
    sink->percents.clear();
    EXPECT_EQ(report->ListNamesForPeriods(0, 0, &op), "Вода\r\nГаз\r\n");
    EXPECT_EQ(sink->percents, (std::vector<int>{50, 50, 100, 100}));
    report->SetNames("Б\r\nа\r\nБ\r\n");
    EXPECT_EQ(report->KnownNames.Text(), "а\r\nБ\r\n");
    EXPECT_EQ(report->CreatePropertiesControl(), nullptr);  // no page
    EXPECT_EQ(report.query<IReportProperties>().get(), static_cast<IReportProperties*>(report.get()));
}

TEST_F(ReportBase, TheArchiveComesFromTheOptionsServer) {
    WriteDay(0, {});
    EXPECT_EQ(report->DatabaseName(), "");  // made before: no lookup
    auto made = MakeComObject<TTestReport>();
    EXPECT_EQ(made->DatabaseName(), archive);
    EXPECT_NE(made->Query(), nullptr);
    // No section, an empty alias, a missing file, a file that is no database, no
    // server: no archive, no failure; the archive tells why it is none.
    const std::string notes = (registry.dir() / "notes.txt").string();
    std::FILE* f = std::fopen(notes.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("Касса 1: смена закрыта в 20:00, сдано 1 250,00.\n", f);
    std::fclose(f);
    const std::pair<std::string, std::string> files[] = {
        {std::string(), "no file is named"},
        {(registry.dir() / "none.db").string(), "unable to open database file"},
        {notes, "file is not a database"}};
    for (const auto& [alias, reason] : files) {
        TOptionsStandIn::WriteSection("Архивы", alias);
        auto r = MakeComObject<TTestReport>();
        EXPECT_EQ(r->Query(), nullptr) << alias;
        TPaymentArchive db;
        std::string why;
        EXPECT_FALSE(db.Open(alias, &why)) << alias;
        EXPECT_EQ(why, reason) << alias;
    }
    CoRevokeClassObject(cookie);
    cookie = 0;
    EXPECT_EQ(MakeComObject<TTestReport>()->Query(), nullptr);
}

TEST_F(ReportBase, TheArchiveComparesTimesAsValuesAndAFullDayEndsAtItsLastMillisecond) {
    ArchiveRow late = Pay("23:59:59", "Газ", "3.00");
    late.TimeMs += 500;
    WriteDay(0, {Pay("10:00", "Газ", "2.00"), Pay("09:05", "Газ", "1.00"), late, Pay("00:00", "Газ", "4.00")});
    TPaymentArchive db;
    ASSERT_TRUE(db.Open(archive));
    std::vector<std::int32_t> times;
    auto collect = [&](const PaymentRow& row) {
        times.push_back(row.TimeMs);
        return true;
    };
    using Read = TPaymentArchive::DayRead;
    EXPECT_EQ(db.ReadDay(Day(0), EncodeTime(9, 0, 0), TReport::kEndOfDay, kColAll, collect).kind, Read::Read);
    EXPECT_EQ(times, (std::vector<std::int32_t>{32700000, 36000000, 86399500}));
    times.clear();
    EXPECT_EQ(db.ReadDay(Day(0), 0, EncodeTime(9, 5, 0), kColAll, collect).kind, Read::Read);
    EXPECT_EQ(times, (std::vector<std::int32_t>{0, 32700000}));
    EXPECT_EQ(db.ReadDay(Day(1), 0, TReport::kEndOfDay, kColAll, collect).kind, Read::NoTable);
    EXPECT_EQ(TPaymentArchive::TableName(EncodeDate(2003, 2, 1)), "2003-02-01_Vora");
}

TEST_F(ReportBase, ATotalTooLargeToHoldIsNeverPrintedAndTheHostIsTold) {
    const std::string big = "500000000000000.00";  // two of them do not fit
    const std::string voraLine = "  ОТЧЕТ НЕ ПОСТРОЕН: ИТОГ СЛИШКОМ ВЕЛИК";
    const std::string merrowLine = "     ДОВІДКУ НЕ СКЛАДЕНО: ПІДСУМОК ЗАВЕЛИКИЙ";
    enum Call { Period, Shift, Operator };
    struct Case {
        const char* name;
        bool merrow;
        int mode;
        Call call;
        std::vector<ArchiveRow> rows;
        std::size_t headerLines;
        std::string line;
    } cases[] = {
        {"flat sum", false, 0, Period, {Pay("09:00", "Газ", big), Pay("10:00", "Газ", big)}, 4, voraLine},
        {"group sum", false, 1, Period, {Pay("09:00", "Газ", big), Pay("10:00", "Газ", big)}, 4, voraLine},
        {"grand sum", false, 1, Period, {Pay("09:00", "Газ", big), Pay("10:00", "Свет", big)}, 4, voraLine},
        {"flat count", false, 0, Period, {Pay("09:00", "Газ", "1.00", 1e308), Pay("10:00", "Газ", "1.00", 1e308)}, 4,
         voraLine},
        {"operator", false, 0, Operator, {Pay("09:00", "Газ", big), Pay("10:00", "Газ", big)}, 5, voraLine},
        {"coded sum", true, 0, Period, {Pay("09:00", "Хлеб", big, 1, 7), Pay("10:00", "Хлеб", big, 1, 7)}, 3,
         merrowLine},
        {"income", true, 0, Period, {Pay("09:00", "Хлеб", big, 1, 7), Pay("10:00", "Сыр", big, 1, 8)}, 3, merrowLine},
        {"withdrawals", true, 0, Shift,
         {Pay("08:00", "Хлеб", "1.00", 1, 7), Pay("09:00", "Инкассация", "-" + big),
          Pay("10:00", "Инкассация", "-" + big)},
         3, merrowLine},
        {"count", true, 0, Operator,
         {Pay("09:00", "Хлеб", "1.00", 1e308, 7), Pay("10:00", "Хлеб", "1.00", 1e308, 7)}, 3, merrowLine},
    };
    WriteDay(0, {Pay("09:00", "Хлеб", "1.00", 1, 7)});
    int day = 20;
    for (const Case& c : cases) {
        WriteDay(day, c.rows);
        ComPtr<TReport> made;
        if (c.merrow) {
            made = ComPtr<TReport>(MakeComObject<TPostCashReport>().get());
        } else {
            auto vora = MakeComObject<TVoraReport>();
            vora->Mode = c.mode;
            made = ComPtr<TReport>(vora.get());
        }
        const THostShift shift{At(day, 8, 0), At(day, 20, 0), "Петренко"};
        const THostOperator op{"Петренко", {shift}};
        SetErrorInfo(kReportFailed, "left from before");
        const std::string text = c.call == Period  ? made->PeriodReport(At(day, 8, 0), At(day, 20, 0), "")
                                 : c.call == Shift ? made->ShiftReport(&shift, "")
                                                   : made->OperatorReport(Day(day), Day(day), &op, "");
        const std::vector<std::string> lines = SplitLines(text);
        ASSERT_EQ(lines.size(), c.headerLines + 1) << c.name << "\n" << text;
        EXPECT_EQ(lines.back(), c.line) << c.name;
        std::string why;
        EXPECT_TRUE(TakeErrorInfo(kReportFailed, why)) << c.name;
        EXPECT_EQ(why, c.rows[0].Count > 1e14 ? "A count of the report is too large to hold"
                                              : "A sum of the report is too large to hold")
            << c.name;
        EXPECT_EQ(made->ShiftCount, 0) << c.name;
        // The same report object over a day that totals: its text and no error.
        SetErrorInfo(kReportFailed, "left from before");
        EXPECT_GT(SplitLines(made->PeriodReport(Day(0), At(0, 20, 0), "")).size(), c.headerLines + 1) << c.name;
        EXPECT_FALSE(TakeErrorInfo(kReportFailed, why)) << c.name;
        ++day;
    }
}

TEST(ReportFormat, MoneyCountsAndWidths) {
    using namespace report;
    struct {
        std::int64_t raw;
        const char* text;
    } money[] = {{12345, "     1,23"},   {12350, "     1,24"},  {-12350, "    -1,24"}, {-49, "     0,00"},
                 {-50, "    -0,01"},     {0, "     0,00"},     {1234567890000, "123456789,00"}};
    for (const auto& m : money) EXPECT_EQ(Money(Currency::FromRaw(m.raw)), m.text) << m.raw;
    struct {
        double count;
        const char* text;
    } counts[] = {{2, "2"}, {1.5, "1,500"}, {-0.0005, "-0,001"}, {0.3333, "0,333"}, {1e12, "1000000000000"},
                  {1e15 + 0.5, "1000000000000000,500"}, {-0.0, "0"}, {-3, "-3"}, {-1234567, "-1234567"},
                  {12345678, "12345678"}, {-12345678, "-12345678"}};
    for (const auto& c : counts) EXPECT_EQ(CountText(c.count), c.text) << c.count;
    // The appending forms write what the text forms give.
    for (const auto& c : counts) {
        std::string out = "|";
        AppendCount(out, c.count, 8);
        EXPECT_EQ(out, "|" + FitRight(CountText(c.count), 8)) << c.count;
    }
    for (const auto& m : money) {
        std::string out = "|";
        AppendMoney(out, Currency::FromRaw(m.raw));
        EXPECT_EQ(out, std::string("|") + m.text) << m.raw;
    }
    EXPECT_EQ(Money(Currency::FromRaw(INT64_MIN)), "-922337203685477,58");
    EXPECT_EQ(FitRight("1,500", 8), "   1,500");
    EXPECT_EQ(FitRight("123456789", 8), "     ...");  // never cut digits
    EXPECT_EQ(Pad("Газ", 5, 5), "Газ  ");              // characters, not bytes
    EXPECT_EQ(Pad("Электроэнергия", 17, 4), "Элек             ");
    EXPECT_EQ(Pad("7", 4, -1, false), "   7");
    EXPECT_EQ(Pad("a\xD0z\xE2\x82\xAC" "b", 6, 4), "a\xD0z\xE2\x82\xAC  ");  // a stray byte is one character
    EXPECT_EQ(Upper("довiдка їжак ґанок"), "ДОВIДКА ЇЖАК ҐАНОК");
    EXPECT_EQ(NearestInt(12.5), 12);
    EXPECT_EQ(NearestInt(37.5), 38);
    EXPECT_EQ(DateText(EncodeDate(2003, 2, 1) + EncodeTime(23, 59, 59, 999)), "01.02.2003");
    EXPECT_EQ(LongTimeText(EncodeTime(9, 5, 7)), "09:05:07");
}

}  // namespace
}  // namespace tolver
