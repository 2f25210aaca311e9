// Reports and programming of the "РФ 2160" by position in the firmware row's lists:
// X reports (daily, cashiers, articles, the four periodic fiscal-memory reports,
// programming), Z reports (daily, cashiers, articles) and the programming items
// (date, time, header and footer, fiscal codes, articles, tax rates, cashiers, tax
// accumulation, cutter). The oldest firmware ("26.10.0", row 0) cannot run some of
// them over the line; an operator message says so instead.

#include <cstdio>

#include "drivers/contract/chosenitems.h"
#include "drivers/dalvern/driver/regfisc2160.h"
#include "platform/variant/utf.h"

namespace tolver {

using namespace fisc2160;

namespace {

// The items by position in the firmware row's lists.
enum XReportItem {
    kXDaily = 0,
    kXCashiers = 1,
    kXArticles = 2,
    kXPeriodicDates = 3,
    kXPeriodicDatesShort = 4,
    kXPeriodicNumbers = 5,
    kXPeriodicNumbersShort = 6,
    kXProgramming = 7,
    kXReportItemCount
};
enum ZReportItem { kZDaily = 0, kZCashiers = 1, kZArticles = 2, kZReportItemCount };
enum ProgramItem {
    kProgramDate = 0,
    kProgramTime = 1,
    kProgramHeaderFooter = 2,  // "Информация на чеке"
    kProgramFiscalCodes = 3,   // "Параметры фискального режима"
    kProgramArticles = 4,
    kProgramTaxRates = 5,
    kProgramCashiers = 6,
    kProgramTaxAccumulation = 7,
    kProgramCutter = 8,
    kProgramItemCount
};

// The version name of the oldest firmware, which the operator messages name.
std::string OldestVersion() { return RegFisc2160Version(0)->VersionName; }

std::string DateDigits(const QDate& d) { return d.toString("ddMMyy").toStdString(); }

}  // namespace

void TRegFisc2160::Message(const std::string& text) { protocol_->AddMessage({}, kModeNone, OptShortTimeout, text); }

// ---- X and Z reports ------------------------------------------------------------------

std::int32_t TRegFisc2160::GetXReport(const std::string& Items) {
    const TChosenItems items(Items);
    if (!items.AnyBefore(kXReportItemCount)) return -1;
    const bool oldest = protocol_->VersionIndex() == 0;
    const auto report = [this](const std::string& text, std::int32_t options = OptReportTimeout) {
        protocol_->AddMessage(text, kModeX, options, {});
    };
    const auto dates = [&](const char* prompt, const char* code) {
        const std::optional<DateRange> range = AskDates(prompt);
        if (range && range->from.isValid() && range->to.isValid())
            report(code + DateDigits(range->from) + DateDigits(range->to));
    };
    const auto numbers = [&](const char* prompt, const char* code) {
        const std::optional<NumberRange> range = AskNumbers(prompt);
        // The register takes four digits for each number.
        if (range && range->from >= 0 && range->from <= kMaxFiscalNumber && range->to >= 0 &&
            range->to <= kMaxFiscalNumber) {
            char text[32];
            std::snprintf(text, sizeof text, "%s00%4.4d00%4.4d", code, range->from, range->to);
            report(text);
        }
    };
    if (items.Has(kXDaily)) report(kCmdDailyX);
    if (items.Has(kXCashiers)) report(kCmdCashiersX);
    if (items.Has(kXArticles)) {
        if (oldest)
            Message("Текущий отчет по артикулам на версии прошивки " + OldestVersion() + " работает некорректно");
        else
            report(kCmdArticlesX);
    }
    if (items.Has(kXPeriodicDates)) dates("Введите период дат для периодического отчета по датам фискальной памяти.", kCmdPeriodic);
    if (items.Has(kXPeriodicDatesShort)) dates("Введите период дат для периодического отчета по датам фискальной памяти (сокращенного).", kCmdPeriodicShort);
    if (items.Has(kXPeriodicNumbers)) numbers("Введите интервал номеров для периодического отчета по номерам фискальной памяти.", kCmdPeriodic);
    if (items.Has(kXPeriodicNumbersShort)) numbers("Введите интервал номеров для периодического отчета по номерам фискальной памяти (сокращенного).", kCmdPeriodicShort);
    if (items.Has(kXProgramming)) {
        if (oldest)
            Message("Отчет программирования в режиме связи с компьютером на версии прошивки " + OldestVersion() + " не работает.\r\n" + "Этот отчет работает только в автономном режиме");
        else
            report(kCmdProgrammingReport, OptReportTimeout | OptDropOnFormatError);
    }
    return 0;
}

// The reports run in the order articles, cashiers, daily; after each one the cashier
// remembered from the last RegOp is signed on again.
std::int32_t TRegFisc2160::GetZReport(const std::string& Items) {
    const TChosenItems items(Items);
    if (!items.AnyBefore(kZReportItemCount)) return -1;
    const bool oldest = protocol_->VersionIndex() == 0;
    const auto report = [this](const char* text) {
        protocol_->AddMessage(text, kModeZ, OptReportTimeout, {});
        if (CashierNumber != -1) RegOp(CashierNumber, CashierPassword);
    };
    if (items.Has(kZArticles)) {
        if (oldest)
            Message("Обнуляющий отчет по артикулам на версии прошивки " + OldestVersion() + " работает некорректно");
        else
            report(kCmdArticlesZ);
    }
    if (items.Has(kZCashiers)) report(kCmdCashiersZ);
    if (items.Has(kZDaily)) {
        report(kCmdDailyZ);
        if (oldest) {
            // The daily Z report clears the oldest firmware's articles: program them again.
            Message("Сейчас будет выполнено перепрограммирование артикулов, дождитесь его окончания...");
            ProgramArticles();
            Message("Программирование артикулов окончено");
        }
    }
    return 0;
}

// ---- programming -----------------------------------------------------------------------

std::int32_t TRegFisc2160::GetProgram(const std::string& Items) {
    const TChosenItems items(Items);
    if (!items.AnyBefore(kProgramItemCount)) return -1;
    const TCashDriverConstraints& v = Version();
    const auto lineOf = [](const std::vector<std::string>& lines, int n) {
        return n <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(n - 1)] : std::string();
    };
    if (items.Has(kProgramDate)) ProgramDate(Now());
    if (items.Has(kProgramTime)) ProgramTime(Now());
    if (items.Has(kProgramHeaderFooter)) {
        for (int n = 1; n <= v.HeaderLines; ++n) ProgramHeaderLine(n, lineOf(Setup.BeginMsg, n));
        for (int n = 1; n <= v.FooterLines; ++n) ProgramTrailerLine(n, lineOf(Setup.FinalMsg, n));
    }
    if (items.Has(kProgramFiscalCodes)) {
        if (!advSettings_.TaxCode.empty())
            protocol_->AddCommand(kCmdTaxCode + DeviceText(advSettings_.TaxCode, 14), kModeAdmin, OptShortTimeout, {});
        if (!advSettings_.RegistrationCode.empty())
            protocol_->AddCommand(kCmdRegistrationCode + DeviceText(advSettings_.RegistrationCode, 14), kModeAdmin, OptShortTimeout, {});
    }
    if (items.Has(kProgramArticles)) ProgramArticles();
    if (items.Has(kProgramTaxRates)) {
        if (protocol_->VersionIndex() == 0)
            ProgramTaxRates();
        else
            ProgramTaxRatesEx();
    }
    if (items.Has(kProgramCashiers)) {
        for (int i = 0; i < Setup.OpList.Count(); ++i) {
            const auto& op = *Setup.OpList.Item<TCashOpProperties>(i);
            ProgramCashier(op.N, op.Description, op.Password);
        }
    }
    if (items.Has(kProgramTaxAccumulation))
        protocol_->AddCommand(SetOptionText(kOptionTaxAccumulation, advSettings_.TaxAccumulation), kModeAdmin, OptShortTimeout, {});
    if (items.Has(kProgramCutter)) protocol_->AddCommand(SetOptionText(kOptionCutter, advSettings_.AutoCutOff), kModeAdmin, OptShortTimeout, {});
    Message("Программирование окончено");
    return 0;
}

void TRegFisc2160::ProgramArticles() {
    for (int i = 0; i < Setup.ArtList.Count(); ++i) {
        const auto& a = *Setup.ArtList.Item<TCashArtProperties>(i);
        SetArt(a.N, a.NDep, a.NTax, a.Price, a.Description, a.Return);
    }
}

std::int32_t TRegFisc2160::ProgramDate(const QDateTime& When) {
    return protocol_->AddCommand(kCmdDate + DateDigits(When.date()), kModeProgram, OptShortTimeout, {});
}

std::int32_t TRegFisc2160::ProgramTime(const QDateTime& When) {
    return protocol_->AddCommand(kCmdTime + When.time().toString("HHmmss").toStdString(), kModeProgram, OptShortTimeout, {});
}

std::int32_t TRegFisc2160::ProgramLine(const char* code, int N, int lines, const std::string& Text) {
    if (N < 1 || N > lines || N > 9) return -1;
    const std::size_t width = static_cast<std::size_t>(Version().MsgLineWidth);
    std::string text = DeviceText(Utf8Left(Text, width), 35);
    return protocol_->AddCommand(code + std::to_string(N) + text, kModeProgram, OptLongTimeout, {});
}

std::int32_t TRegFisc2160::ProgramHeaderLine(int N, const std::string& Text) {
    return ProgramLine(kCmdHeaderLine, N, Version().HeaderLines, Text);
}

std::int32_t TRegFisc2160::ProgramTrailerLine(int N, const std::string& Text) {
    return ProgramLine(kCmdFooterLine, N, Version().FooterLines, Text);
}

// MaxTax fields of five characters, the rate times 1000 right-aligned ("20000",
// " 5500"); a rate outside 0..99.999 or a missing one is sent as zero. withAdv adds the
// levies of the same rates after them.
std::string TRegFisc2160::TaxFields(bool withAdv) const {
    const int count = Version().MaxTax;
    const auto field = [](Currency value) {
        double v = value.ToDouble();
        if (v < 0 || v > 99.999) v = 0;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%6.3f", v);
        std::string s;
        for (const char* c = buf; *c; ++c)
            if (*c != '.' && *c != ',') s += *c;
        return s;
    };
    const auto fields = [&](bool adv) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            Currency value;
            if (const auto* t = Setup.TaxList.Item<TCashTaxProperties>(i)) value = adv ? t->ValueAdv : t->Value;
            out += field(value);
        }
        return out;
    };
    return withAdv ? fields(false) + fields(true) : fields(false);
}

std::int32_t TRegFisc2160::ProgramTaxRates() {
    return protocol_->AddCommand(kCmdTaxRates + TaxFields(false), kModeProgram, OptLongTimeout, {});
}

std::int32_t TRegFisc2160::ProgramTaxRatesEx() {
    return protocol_->AddCommand(kCmdTaxRatesWithLevies + TaxFields(true), kModeProgram, OptLongTimeout, {});
}

std::int32_t TRegFisc2160::ProgramCashier(std::int32_t N, const std::string& Name, const std::string& Password) {
    if (N < 1 || N > Version().MaxOp) return -1;
    const auto password = ParsePassword(Password);
    if (!password) return -1;
    return protocol_->AddCommand(kCmdCashier + Digits(N, 2) + Digits(*password, 8) + DeviceText(Name, 24), kModeProgram,
                             OptShortTimeout, {});
}

}  // namespace tolver
