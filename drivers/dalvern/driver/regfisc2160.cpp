#include "drivers/dalvern/driver/regfisc2160.h"

#include <cmath>
#include <limits>

#include "drivers/dalvern/forms/cashdialogs.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"

#include <QDateEdit>
#include <QLabel>
#include <QSpinBox>

namespace tolver {

using namespace fisc2160;

namespace {

// The pay-type character of the close and cash commands.
char PayTypeChar(TPayType t) {
    switch (t) {
        case TPayType::Check: return kPayCheque;
        case TPayType::Credit: return kPayCredit;
        default: return kPayCash;
    }
}

}  // namespace

std::optional<std::int64_t> ParsePassword(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > kMaxPassword) return std::nullopt;
    }
    if (negative && v != 0) return std::nullopt;
    return v;
}

// ---- life ------------------------------------------------------------------------------

TRegFisc2160::TRegFisc2160(std::unique_ptr<TRegFisc2160Protocol> protocol)
    : TRegFisc2160Frames(settings_, advSettings_),
      protocol_(protocol ? std::move(protocol) : std::make_unique<TRegFisc2160Protocol>()) {
    Events.RelayFrom(*protocol_);
    protocol_->OnCommandResult = [this](std::int32_t id, std::int32_t result) { CommandResult(id, result); };

    AskDates = [](const std::string& prompt) -> std::optional<DateRange> {
        TfrmCashDates dialog;
        dialog.lInfo->setText(QString::fromStdString(prompt));
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return DateRange{dialog.dateFrom->date(), dialog.dateTo->date()};
    };
    AskNumbers = [](const std::string& prompt) -> std::optional<NumberRange> {
        TfrmCashNs dialog;
        dialog.lInfo->setText(QString::fromStdString(prompt));
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return NumberRange{dialog.seditNFrom->value(), dialog.seditNTo->value()};
    };

    GetRegFisc2160DefaultProperties(settings_);
    PropertiesFrame()->FirmwareText = [] { return RegFisc2160FirmwareText(); };
    PropertiesFrame()->FillPriorities();
    ShowSettings();
    ShowAdvSettings();
}

TRegFisc2160::~TRegFisc2160() {
    DestroyFrames();
    // The line closes once the command in flight has its outcome; with the driver
    // object gone it closes at once and nothing more is reported.
    protocol_->CloseAfterCurrent();
    protocol_->OnLog = protocol_->OnInfo = protocol_->OnError = protocol_->OnQuery = nullptr;
    protocol_->OnPrint = nullptr;
    protocol_->OnCommandResult = nullptr;
    protocol_->Close();
}

std::string TRegFisc2160::CashModelDescription() const {
    return std::string(kDalvernName) + '\x01' + Version().VersionName;
}

const TCashDriverConstraints& TRegFisc2160::Version() const {
    const TCashDriverConstraints* row = RegFisc2160Version(protocol_->VersionIndex());
    return row ? *row : *RegFisc2160Version(kRegFisc2160DefaultRow);
}

std::int32_t TRegFisc2160::Init(std::string& cause) {
    PrintingInfo = false;
    try {
        protocol_->SetIgnoreReplyFormatError(settings_.IgnoreReplyFormatError);
        // The settings keep these waits in whole seconds.
        protocol_->SetWaitCheckOutPrint(std::chrono::seconds(settings_.WaitCheckOutPrint));
        protocol_->SetWaitCheckOutLongPrint(std::chrono::seconds(settings_.WaitCheckOutLongPrint));
        protocol_->ApplyPriority(settings_.Priority);
        return protocol_->Open(cause);
    } catch (const std::exception& e) {
        cause = e.what();
        return -1;
    }
}

void TRegFisc2160::Done() { protocol_->CloseAfterCurrent(); }

// The receipt's lines follow every outcome; the drawer opens once the register has
// taken the close or the cash move that wanted it, before anything queued later.
void TRegFisc2160::CommandResult(std::int32_t id, std::int32_t result) {
    receipt_.Result(id, result);
    if (const auto it = drawerAfter_.find(id); it != drawerAfter_.end()) {
        drawerAfter_.erase(it);
        if (result == 0) protocol_->AddMessageNext(kCmdOpenDrawer, kModeWork, OptShortTimeout);
    }
    Events.CommandResult(id, result);
}

// ---- sales -----------------------------------------------------------------------------

std::int32_t TRegFisc2160::AddPayArt(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum) {
    return SellArticle(NArt, 1.0, true, SumWithoutNDS, Sum);
}

std::int32_t TRegFisc2160::AddPayArtInt(std::int32_t Count, std::int32_t NArt, Currency SumWithoutNDS, Currency Sum) {
    return SellArticle(NArt, Count, false, SumWithoutNDS, Sum);
}

std::int32_t TRegFisc2160::AddPayArtFrac(std::int32_t NArt, double Count, Currency SumWithoutNDS, Currency Sum) {
    return SellArticle(NArt, Count, false, SumWithoutNDS, Sum);
}

// Sale (0 < SumWithoutNDS <= Sum), zero sale (both 0) or, with the count 1 only,
// payout (Sum < 0). The newer firmware takes the price with the sale; the oldest one
// ("26.10.0", row 0) sells at the programmed price, so the article is programmed
// first. The register books a sale of a return article as a payout, and has no other
// way to pay out: a payout of an article the setup does not hold as a return article
// is refused. A sale that would carry the receipt's total beyond what the register
// holds is refused too. Pending texts print after the sale command, also when the
// sale is refused for its sums.
std::int32_t TRegFisc2160::SellArticle(std::int32_t NArt, double Count, bool countOne, Currency SumWithoutNDS,
                                       Currency Sum) {
    const TCashDriverConstraints& v = Version();
    if (NArt < 1 || NArt > v.MaxArt) return -1;
    if (!countOne && !(std::isfinite(Count) && Count > 0)) return -1;

    const Currency zero;
    enum { Sale, ZeroSale, Payout, Refused } kind = Refused;
    if (zero < SumWithoutNDS && SumWithoutNDS <= Sum)
        kind = Sale;
    else if (SumWithoutNDS == zero && Sum == zero)
        kind = ZeroSale;
    else if (Sum < zero && countOne)
        kind = Payout;
    const auto* art = dynamic_cast<const TCashArtProperties*>(Setup.ArtList.FindByN(NArt));
    const bool returnArticle = art && art->Return;
    if (kind == Payout && !returnArticle) kind = Refused;

    std::int32_t id = -1;
    // The quantity in thousandths; a fraction that rounds to nothing sells nothing.
    const double quantity = std::nearbyint(Count * 1000.0);
    const bool oldest = protocol_->VersionIndex() == 0;
    const double quantityLimit = oldest || kind == ZeroSale ? 9.0e18 : static_cast<double>(kMaxField4);
    // What the line adds to the receipt: none for a sale at the register's price.
    const std::int64_t price = kind == Sale || kind == Payout ? (kind == Sale ? Hundredths(Sum) : -Hundredths(Sum)) : 0;
    std::optional<std::int64_t> amount;
    if ((kind == Sale || kind == Payout) && quantity >= 1.0 && quantity <= quantityLimit && price <= kMaxField4) {
        // The register's line amount: quantity times price, rounded to the hundredth.
        const __int128 wide = (static_cast<__int128>(quantity) * price + 500) / 1000;
        const auto total = receipt_.Total();
        if (wide > kMaxField4) {
            kind = Refused;
        } else {
            const auto sum = static_cast<std::int64_t>(wide);
            amount = returnArticle ? -sum : sum;
            if (total && (*total + *amount > kMaxField4 || *total + *amount < -kMaxField4)) kind = Refused;
        }
    }
    if (kind != Refused && quantity >= 1.0 && quantity <= quantityLimit) {
        const auto q = static_cast<std::int64_t>(quantity);
        const std::string plain = kCmdSale + IntToBytes(2, NArt) + IntToBytes(8, q);
        if (oldest) {
            if (art) {
                const Currency price = kind == ZeroSale ? art->Price : Sum;
                // A priced sale whose article could not be programmed would sell at
                // whatever price the register holds: refused instead. A sale without a
                // price sells at the register's price on every firmware.
                if (SetArt(NArt, art->NDep, art->NTax, price, art->Description, art->Return) > 0 ||
                    kind == ZeroSale)
                    id = protocol_->AddCommand(plain, kModeWork, OptLongTimeout, {});
            }
        } else if (kind == ZeroSale) {
            id = protocol_->AddCommand(plain, kModeWork, OptLongTimeout, {});
        } else if (price >= 0 && price <= kMaxField4) {
            id = protocol_->AddCommand(kCmdPricedSale + IntToBytes(2, NArt) + IntToBytes(4, q) + IntToBytes(4, price), kModeWork,
                                   OptLongTimeout, {});
        }
    }
    if (id > 0) receipt_.Add({id, NArt, price, amount});
    FlushInfo();
    return id;
}

std::int32_t TRegFisc2160::SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                                  const std::string& Description, bool Return) {
    const TCashDriverConstraints& v = Version();
    if (NArt < 1 || NArt > v.MaxArt || NDep < 1 || NDep > v.MaxDep || NTax < 1 || NTax > v.MaxTax ||
        Description.empty())
        return -1;
    const std::int64_t hundredths = Hundredths(Price);
    if (hundredths < -kMaxField4 || hundredths > kMaxField4) return -1;
    const std::int64_t price = hundredths < 0 ? -hundredths : hundredths;
    std::string text = kCmdProgramArticle + IntToBytes(2, NArt);
    text += static_cast<char>(NTax & 0xFF);
    text += static_cast<char>(Return ? 0x80 : 0x00);
    text += '\0';
    text += static_cast<char>((NDep * 16) % 256);  // department 16 gives 0
    text += IntToBytes(4, NArt) + DeviceText(Description, 24) + IntToBytes(4, price) + IntToBytes(4, 9999999);
    return protocol_->AddCommand(text, kModeWork, OptShortTimeout, {});
}

// The register's void takes the receipt's last line whatever it was: it is sent only
// when that line is the article named, at the price or the line amount named (a
// line sold at the register's own price by its article alone).
std::int32_t TRegFisc2160::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    const Currency zero;
    if (!(SumWithoutNDS > zero && Sum > zero && NArt >= 1 && SumWithoutNDS <= Sum && NArt <= Version().MaxArt))
        return -1;
    const TReceiptTally::Line* last = receipt_.Last();
    if (!last || last->article != NArt) return -1;
    const std::int64_t sum = Hundredths(Sum);
    if (last->amount && sum != last->price && sum != *last->amount && -sum != *last->amount) return -1;
    const std::int32_t id = protocol_->AddCommand(kCmdVoidLast, kModeWork, OptLongTimeout, {});
    receipt_.VoidLast(id);
    return id;
}

// ---- texts -------------------------------------------------------------------------------

std::int32_t TRegFisc2160::OpenCheck(const std::string& Info) {
    CheckInfo = Info;
    PrintingInfo = false;
    return 0;
}

std::int32_t TRegFisc2160::AddInfo(const std::string& Text) {
    if (!PrintingInfo) {
        PendingInfo.push_back(Text);
        return 0;
    }
    if (Text.empty()) return 0;
    return PrintInfoText(WrapText(Text, Version().NameLength));
}

std::int32_t TRegFisc2160::PrintInfoText(const std::string& Text) {
    std::string text = DeviceText(Text, 0);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    const std::size_t width = static_cast<std::size_t>(std::max(1, Version().NameLength));
    for (std::size_t at = 0; at < text.size(); at += width) {
        std::string piece = text.substr(at, width);
        while (!piece.empty() && piece.back() == ' ') piece.pop_back();
        if (piece.empty()) continue;
        piece.resize(24, ' ');
        protocol_->AddMessage(kCmdPrintText + piece, kModeWork, OptLongTimeout, {});
    }
    return 0;
}

void TRegFisc2160::FlushInfo() {
    PrintingInfo = true;
    std::vector<std::string> texts;
    texts.swap(PendingInfo);
    for (const std::string& text : texts) AddInfo(text);
    PrintingInfo = false;
}

void TRegFisc2160::PrintNow(const std::string& Text) {
    PrintingInfo = true;
    AddInfo(Text);
    PrintingInfo = false;
}

void TRegFisc2160::OpenMoneyBoxAfter(std::int32_t id) {
    if (advSettings_.OpenMoneyBox && id > 0) drawerAfter_.insert(id);
}

// ---- closing and cash -------------------------------------------------------------------

// A tender is refused when the register could not hold it or when it does not cover
// the lines queued (the register would refuse it); without a tender the receipt is
// paid exactly.
std::int32_t TRegFisc2160::CloseCheck(TPayType PayType, Currency Sum) {
    const bool tendered = Sum > Currency();
    const std::int64_t tender = tendered ? Hundredths(Sum) : 0;
    if (tendered) {
        const auto total = receipt_.Total();
        if (tender > kMaxField4 || (total && *total > tender)) return -1;
    }
    FlushInfo();
    if (!CheckInfo.empty()) {
        PrintNow(CheckInfo);
        CheckInfo.clear();
    }
    const std::string text = tendered ? std::string(kCmdCloseTendered) + PayTypeChar(PayType) + IntToBytes(8, tender)
                                      : std::string(kCmdCloseExact) + PayTypeChar(PayType);
    const std::int32_t id = protocol_->AddCommand(text, kModeWork, OptLongTimeout, {});
    receipt_.Close(id);
    OpenMoneyBoxAfter(id);
    return id;
}

std::int32_t TRegFisc2160::CashMove(const char* code, TPayType PayType, const std::string& Info, Currency Sum) {
    const std::int64_t sum = Hundredths(Sum);
    if (Sum <= Currency() || sum <= 0 || sum > kMaxField4) return -1;
    PrintNow(Info);
    const std::int32_t id =
        protocol_->AddCommand(code + std::string(1, PayTypeChar(PayType)) + IntToBytes(8, sum), kModeWork, OptLongTimeout, {});
    OpenMoneyBoxAfter(id);
    return id;
}

std::int32_t TRegFisc2160::AddCash(TPayType PayType, const std::string& Info, Currency Sum) {
    return CashMove(kCmdCashIn, PayType, Info, Sum);
}

std::int32_t TRegFisc2160::ReturnCash(TPayType PayType, const std::string& Info, Currency Sum) {
    return CashMove(kCmdCashOut, PayType, Info, Sum);
}

// ---- cashiers -----------------------------------------------------------------------------

std::int32_t TRegFisc2160::RegOp(std::int32_t NOp, const std::string& Password) {
    if (NOp < 1 || NOp > Version().MaxOp) return -1;
    CashierNumber = NOp;
    CashierPassword = Password;
    const auto password = ParsePassword(Password);
    if (!password) return -1;
    return protocol_->AddCommand(kCmdSignOn + Digits(NOp, 2) + Digits(*password, 8), kModeWork, OptShortTimeout, {});
}

std::int32_t TRegFisc2160::UnRegOp() {
    CashierNumber = -1;
    return protocol_->AddCommand(kCmdSignOff, kModeWork, OptShortTimeout, {});
}

}  // namespace tolver
