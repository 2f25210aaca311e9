// The Samsung ER-350F STU outside the receipt: X and Z reports, programming of the
// register from the host's setup, and the receipt header that the driver captures
// from the print copy and keeps scrambled in the registry. Reports and programming
// need the operator to turn the mode key: each batch of keys is framed by operator
// queries, which the host shows as message boxes while the queue waits.

#include <limits>

#include "common/encode.h"
#include "drivers/contract/chosenitems.h"
#include "drivers/sorbel/driver/samser350f.h"
#include "drivers/sorbel/engine/samser350fkeys.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/ini/inifile.h"
#include "platform/registry/registry.h"
#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr std::uint8_t X = kSamsKeyPosX;
constexpr std::uint8_t Z = kSamsKeyPosZ;
constexpr std::uint8_t Prog = kSamsKeyPosProgram;
constexpr std::int32_t kFirst = TSamsER350FProtocol::kFirstKey;
constexpr std::uint8_t kShort = TSamsER350F::kKindShort;
constexpr std::uint8_t kLast = TSamsER350F::kKindPrint;  // the last key of a programming step

constexpr const char* kQueryX = "Переключите ключ на КА в положение X и нажмите кнопку ОК";
constexpr const char* kQueryZ = "Переключите ключ на КА в положение Z и нажмите кнопку ОК";
constexpr const char* kQueryProgram = "Переключите ключ на КА в положение П и нажмите кнопку ОК";
constexpr const char* kDoneX = "Выполнение X-отчетов окончено. Верните ключ в положение Р";
constexpr const char* kDoneZ = "Выполнение Z-отчетов окончено. Верните ключ в положение Р";
constexpr const char* kDoneProgram = "Программирование окончено. Верните ключ в положение Р";

// The report keys, by item: "Финансовый дневной", "Общий по артикулам", "Кассиров", "Почасовый".
constexpr int kReportItemCount = 4;
constexpr std::uint8_t kReportKeys[kReportItemCount] = {kSamsKeyCash, kSamsKeyArticle, kSamsKeyCashier, kSamsKeySeparator};

// The key that ends the programming of one register block.
constexpr std::uint8_t kSamsKeyEndBlock = kSamsKeyCash;

// The highest price the register's entry takes.
constexpr double kMaxEntry = 2147483647.0;

// The receipt header in the print copy: the line after the end of a receipt.
constexpr const char* kReceiptEnd = "ЧЕК ***";
constexpr int kLinesAfterReceiptEnd = 8;
constexpr int kHeaderLineCount = 5;
constexpr const char* kRule = "________________";

// The programming items by position (ProgramItems); the cashiers come after the
// list that the host shows.
enum ProgramItem {
    kProgramTime = 0,
    kProgramHeader = 1,  // "Информация на чеке"
    kProgramSystemModes = 2,
    kProgramDecimals = 3,
    kProgramDepartments = 4,
    kProgramArticles = 5,
    kProgramTaxRates = 6,
    kProgramCashiers = 7,
    kProgramItemCount
};

std::string TrimTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

void TSamsER350F::Query(const char* text, std::uint8_t keyPos) { protocol_->Enqueue(-1, keyPos, kShort, text, 0); }

// ---- reports ------------------------------------------------------------------------

int TSamsER350F::PrintReports(const std::string& Items, std::uint8_t keyPos, const char* startQuery,
                              const char* endQuery) {
    const TChosenItems items(Items);
    if (!items.AnyBefore(kReportItemCount)) return -1;
    Query(startQuery, keyPos);
    for (int i = 0; i < kReportItemCount; ++i)
        if (items.Has(i)) protocol_->Enqueue(kReportKeys[i], keyPos, kKindReport, "", kFirst);
    Query(endQuery, keyPos);
    return 0;
}

int TSamsER350F::GetXReport(const std::string& Items) { return PrintReports(Items, X, kQueryX, kDoneX); }
int TSamsER350F::GetZReport(const std::string& Items) { return PrintReports(Items, Z, kQueryZ, kDoneZ); }

// ---- programming steps --------------------------------------------------------------

int TSamsER350F::ProgramTime(int hours, int minutes) {
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return -1;
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, hours, 2, Prog, kShort, "", kFirst);
    EnterNumber(p, minutes, 2, Prog, kShort, "", 0);
    p.EnqueueKey(kSamsKeySeparator, Prog, kLast);
    return 0;
}

bool TSamsER350F::SystemModeChosen(int mode) const {
    // The modes chosen from a list: the value must be one of the list's entries (a
    // list left without a selection stores 255, and a stored value may be past the
    // model's list). Such a mode is not keyed at all.
    const int value = advSettings_.SysCond(mode);
    switch (mode) {
        case 4: return value < 6;
        case 7: return value < 2;
        case 8: {
            int choices = 0;
            for (const std::string& text : Version().ModeChoices) choices += text.empty() ? 0 : 1;
            return value < choices;
        }
        default: return true;
    }
}

int TSamsER350F::SetSystemMode(int mode, int value) {
    if (mode < 1 || mode > 9 || value < 0) return -1;
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, mode, 0, Prog, kShort, "", kFirst);
    p.EnqueueKey(kSamsKeyCashIn, Prog, kShort);
    EnterNumber(p, value, 0, Prog, kShort, "", 0);
    p.EnqueueKey(kSamsKeyCashOut, Prog, kLast);
    return 0;
}

int TSamsER350F::SetDecimals(int digitCount) {
    static constexpr int kCodes[4] = {1, 2, 0, 3};  // the register's code of 0, 1, 2, 3 places
    if (digitCount < 0 || digitCount > 3) return -1;
    EnterNumber(*protocol_, kCodes[digitCount], 0, Prog, kShort, "", kFirst);
    protocol_->EnqueueKey(kSamsKeyVoid, Prog, kLast);
    return 0;
}

int TSamsER350F::SetTaxRate(std::int32_t N, Currency rate) {
    if (N < 1 || N > Version().MaxTax || rate < Currency() || rate > Currency::FromRaw(999990)) return -1;
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, N, 0, Prog, kShort, "", kFirst);
    p.EnqueueKey(kSamsKeyCashIn, Prog, kShort);
    EnterFraction(p, 5, 3, rate.ToDouble(), Prog, kShort, "", 0);
    p.EnqueueKey(kSamsKeyTaxEnd, Prog, kLast);
    return 0;
}

int TSamsER350F::ProgramDepartment(std::int32_t NDep, std::int32_t NTax) {
    const TCashDriverConstraints& v = Version();
    if (NDep < 1 || NDep > v.MaxDep || NTax < 1 || NTax > v.MaxTax) return -1;
    TSamsER350FProtocol& p = *protocol_;
    p.Enqueue(kSamsKeyDepProgram, Prog, kShort, "", kFirst);
    p.EnqueueKey(KeyOfDigit(0), Prog, kShort);
    EnterNumber(p, NTax, 1, Prog, kShort, "", 0);
    p.EnqueueKey(KeyOfDigit(NDep + 9), Prog, kLast);
    return 0;
}

int TSamsER350F::ProgramArticle(std::int32_t NArt, std::int32_t NDep, Currency Price, std::int32_t NTax) {
    const TCashDriverConstraints& v = Version();
    if (NArt < 1 || NArt > v.MaxArt || NDep < 1 || NDep > v.MaxDep || NTax < 1 || NTax > v.MaxTax ||
        Price.ToDouble() >= kMaxEntry)
        return -1;
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, NArt, 3, Prog, kShort, "", kFirst);
    p.EnqueueKey(kSamsKeyArticle, Prog, kShort);
    if (Price > Currency()) {
        EnterFraction(p, 0, 3, Price.ToDouble(), Prog, kShort, "", 0);
        p.EnqueueKey(KeyOfDigit(0), Prog, kShort);
    } else {
        p.EnqueueKey(kSamsKeyDepProgram, Prog, kShort);
        p.EnqueueKey(KeyOfDigit(0), Prog, kShort);
        EnterNumber(p, NTax, 1, Prog, kShort, "", 0);
    }
    p.EnqueueKey(KeyOfDigit(NDep + 9), Prog, kLast);
    return 0;
}

int TSamsER350F::ProgramOperator(std::int32_t NOp, const std::string& Password) {
    const auto password = ParseDecimalDigits(Password);
    if (NOp < 1 || NOp > Version().MaxOp || !password) return -1;
    TSamsER350FProtocol& p = *protocol_;
    p.Enqueue(kSamsKeyCashier, Prog, kShort, "", kFirst);
    EnterNumber(p, *password, 4, Prog, kShort, "", 0);
    EnterNumber(p, NOp, 1, Prog, kShort, "", 0);
    p.EnqueueKey(kSamsKeyCashier, Prog, kShort);
    return 0;
}

int TSamsER350F::ProgramHeaderLine(int n, const std::string& text) {
    if (n < 1 || n > Version().HeaderLines) return -1;
    const std::string line = Utf8Left(text.empty() ? std::string(" ") : text, Version().MsgLineWidth);
    TSamsER350FProtocol& p = *protocol_;
    p.Enqueue(KeyOfDigit(1), Z, kShort, "", kFirst);
    EnterNumber(p, n, 1, Z, kShort, "", 0);
    p.EnqueueKey(kSamsKeySeparator, Z, kShort);
    EnterHexText(p, line, Z, kShort, "", 0);
    p.EnqueueKey(kSamsKeyCheck, Z, kLast);
    return 0;
}

int TSamsER350F::ProgramDepName(std::int32_t NDep, const std::string& name) {
    if (NDep < 1 || NDep > Version().MaxDep || name.empty()) return -1;
    TSamsER350FProtocol& p = *protocol_;
    p.Enqueue(KeyOfDigit(2), Z, kShort, "", kFirst);
    EnterNumber(p, NDep, 1, Z, kShort, "", 0);
    p.EnqueueKey(kSamsKeySeparator, Z, kShort);
    EnterHexText(p, Utf8Left(name, Version().NameLength), Z, kShort, "", 0);
    p.EnqueueKey(kSamsKeyCheck, Z, kLast);
    return 0;
}

int TSamsER350F::ProgramArtName(std::int32_t NArt, const std::string& name) {
    if (NArt < 1 || NArt > Version().MaxArt || name.empty()) return -1;
    std::string text = Utf8Left(name, Version().NameLength);
    if (text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, NArt, 3, Z, kShort, "", kFirst);
    p.EnqueueKey(kSamsKeyArticle, Z, kShort);
    p.EnqueueKey(kSamsKeySeparator, Z, kShort);
    EnterHexText(p, text, Z, kShort, "", 0);
    p.EnqueueKey(kSamsKeyCheck, Z, kLast);
    return 0;
}

// ---- programming from the setup -----------------------------------------------------

// The header lines of the setup, one per header line of the register (blank where the
// setup has fewer); true when any was queued.
bool TSamsER350F::ProgramHeader() {
    bool any = false;
    for (int i = 1; i <= Version().HeaderLines; ++i) {
        const std::size_t at = static_cast<std::size_t>(i - 1);
        const std::string line = at < Setup.BeginMsg.size() ? Setup.BeginMsg[at] : std::string();
        any = ProgramHeaderLine(i, line) == 0 || any;
    }
    return any;
}

int TSamsER350F::GetProgram(const std::string& Items) {
    const TChosenItems items(Items);
    if (!items.AnyBefore(kProgramItemCount)) return -1;

    // In key position П.
    if (items.Any({kProgramTime, kProgramSystemModes, kProgramDecimals, kProgramDepartments, kProgramArticles,
                   kProgramTaxRates, kProgramCashiers})) {
        Query(kQueryProgram, Prog);
        bool ran = false;  // refused steps count, empty lists do not
        if (items.Has(kProgramTime)) {
            const QTime now = CurrentTime();
            ProgramTime(now.hour(), now.minute());
            ran = true;
        }
        if (items.Has(kProgramSystemModes)) {
            for (int n = 1; n <= kSysCondCount; ++n)
                if (SystemModeChosen(n)) SetSystemMode(n, advSettings_.SysCond(n));
            ran = true;
        }
        if (items.Has(kProgramDecimals)) {
            SetDecimals(Setup.DigitCount);
            ran = true;
        }
        if (items.Has(kProgramDepartments)) {
            for (int i = 0; i < Setup.DepList.Count(); ++i) {
                const auto* dep = Setup.DepList.Item<TCashDepProperties>(i);
                ProgramDepartment(dep->N, dep->NTax);
                ran = true;
            }
        }
        if (items.Has(kProgramArticles)) {
            // Articles are programmed with the print copy fully on (mode 8 value 4).
            SetSystemMode(8, 4);
            ran = true;
            for (int i = 0; i < Setup.ArtList.Count(); ++i) {
                const auto* art = Setup.ArtList.Item<TCashArtProperties>(i);
                ProgramArticle(art->N, art->NDep, art->Price, art->NTax);
            }
            if (advSettings_.SysCond(8) != 4 && SystemModeChosen(8)) SetSystemMode(8, advSettings_.SysCond(8));
        }
        if (items.Has(kProgramTaxRates)) {
            for (int i = 0; i < Setup.TaxList.Count(); ++i) {
                const auto* tax = Setup.TaxList.Item<TCashTaxProperties>(i);
                SetTaxRate(tax->N, tax->Value);
                ran = true;
            }
        }
        if (items.Has(kProgramCashiers)) {
            for (int i = 0; i < Setup.OpList.Count(); ++i) {
                const auto* op = Setup.OpList.Item<TCashOpProperties>(i);
                ProgramOperator(op->N, op->Password);
                ran = true;
            }
        }
        if (ran) protocol_->EnqueueKey(kSamsKeyEndBlock, Prog, kLast);
    }

    // In key position Z: the header and the names.
    if (items.Any({kProgramHeader, kProgramDepartments, kProgramArticles})) {
        Query(kQueryZ, Z);
        bool ran = false;
        if (items.Has(kProgramHeader)) ran = ProgramHeader() || ran;
        if (items.Has(kProgramDepartments)) {
            for (int i = 0; i < Setup.DepList.Count(); ++i) {
                const auto* dep = Setup.DepList.Item<TCashDepProperties>(i);
                ProgramDepName(dep->N, dep->Description);
                ran = true;
            }
        }
        if (items.Has(kProgramArticles)) {
            for (int i = 0; i < Setup.ArtList.Count(); ++i) {
                const auto* art = Setup.ArtList.Item<TCashArtProperties>(i);
                ProgramArtName(art->N, art->Description);
                ran = true;
            }
        }
        if (ran) protocol_->EnqueueKey(kSamsKeyEndBlock, Z, kLast);
    }

    Query(kDoneProgram, Prog);
    return 0;
}

bool TSamsER350F::NoAutoProgram() const {
    try {
        return TIniFile(IniFileName).ReadBool("Sorbel", "NoAutoProgram", false);
    } catch (const std::exception&) {
        return false;
    }
}

int TSamsER350F::ProgramAfterReg(const std::string& Param) {
    // Only after a capture that gave up: the header is programmed from the setup.
    if (Param != "BeginMsg" || !HeaderCaptured || !CaptureText.empty() || NoAutoProgram()) return 0;
    BeginMsg.clear();
    SaveBeginMsg();
    Query(kQueryZ, Z);
    if (ProgramHeader()) protocol_->EnqueueKey(kSamsKeyEndBlock, Z, kLast);
    Query(kDoneProgram, Z);
    return 0;
}

// ---- the receipt header -------------------------------------------------------------

void TSamsER350F::CapturePrintChar(int Char) {
    if (!HeaderCaptured) {
        if (PrintCopy.size() > static_cast<std::size_t>(kCaptureLineLimit)) {
            HeaderCaptured = true;  // given up
            ProgramAfterReg("BeginMsg");
        } else {
            const char c = static_cast<char>(Char);
            if (c == '\n') {
                PrintCopy.emplace_back();
                // Only lines ended by LF count, so only a line's end can complete a header.
                FindHeader();
            } else if (c != '\r') {
                if (PrintCopy.empty()) PrintCopy.emplace_back();
                // A printed line is short; a line of garbage is not kept beyond this.
                if (PrintCopy.back().size() < kCaptureLineWidth) PrintCopy.back() += c;
            }
        }
    }
    Events.Print(Char);
}

// The last line that shows a receipt's end and has eight complete lines after it:
// its next lines, past rules and blank lines, are the next receipt's header.
void TSamsER350F::FindHeader() {
    const std::size_t complete = PrintCopy.size() - 1;  // the last line is still being printed
    const std::string marker = Utf8ToCp1251(kReceiptEnd);
    for (std::size_t i = complete; i-- > 0;) {
        if (PrintCopy[i].find(marker) == std::string::npos) continue;
        if (complete - 1 - i < static_cast<std::size_t>(kLinesAfterReceiptEnd)) continue;
        std::size_t j = i + 1;
        while (j < complete && (TrimTrailingBlanks(PrintCopy[j]).empty() || PrintCopy[j].compare(0, 16, kRule) == 0))
            ++j;
        std::string header;
        int taken = 0;
        for (; j < complete && taken < kHeaderLineCount; ++j, ++taken) header += Cp1251ToUtf8(PrintCopy[j]) + "\r\n";
        if (taken == kHeaderLineCount) {
            HeaderCaptured = true;
            CaptureText = header;
            BeginMsg = header;
            SaveBeginMsg();
        }
        return;
    }
}

void TSamsER350F::SaveBeginMsg() {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(kBeginMsgKey, true)) return;
        std::string value;
        // Scrambled as Windows-1251 bytes; the store holds them as their characters.
        if (!BeginMsg.empty())
            value = Cp1251ToUtf8(ScrambleString(Utf8ToCp1251("!=" + BeginMsg + "~$"), kBeginMsgScrambleKey, false));
        reg.WriteString(kBeginMsgValue, value);
    } catch (const std::exception&) {
        // The header is then simply not kept.
    }
}

void TSamsER350F::LoadBeginMsg() {
    BeginMsg.clear();
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(kBeginMsgKey, false) || !reg.ValueExists(kBeginMsgValue)) return;
        const std::string plain =
            Cp1251ToUtf8(ScrambleString(Utf8ToCp1251(reg.ReadString(kBeginMsgValue)), kBeginMsgScrambleKey, true));
        if (plain.size() >= 4 && plain.starts_with("!=") && plain.ends_with("~$"))
            BeginMsg = plain.substr(2, plain.size() - 4);
    } catch (const std::exception&) {
        // No header.
    }
}

}  // namespace tolver
