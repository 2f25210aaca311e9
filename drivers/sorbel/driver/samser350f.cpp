#include "drivers/sorbel/driver/samser350f.h"

#include <cmath>
#include <limits>

#include "common/utilgl.h"
#include "drivers/sorbel/engine/samser350fkeys.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr std::uint8_t P = kSamsKeyPosP;  // every receipt key is pressed in key position P
constexpr std::int32_t kFirst = TSamsER350FProtocol::kFirstKey;
constexpr const char* kUnknownModel = "Неизвестная версия прошивки кассового аппарата (Model = %d)";

// A count keyed with three decimals: positive once rounded, and within the
// register's entry.
bool FractionFits(double count) {
    return std::isfinite(count) && count > 0 && std::round(count * 1000) >= 1 && count < 2147483647.0;
}

// A fitting count in the thousandths it is keyed with.
std::int64_t Thousandths(double count) { return std::llround(count * 1000); }

}  // namespace

TSamsER350F::TSamsER350F(std::unique_ptr<TSamsER350FProtocol> protocol)
    : TSamsER350FFrames(settings_, advSettings_),
      protocol_(protocol ? std::move(protocol) : std::make_unique<TSamsER350FProtocol>()) {
    IniFileName = GetAppPath() + "Spooler.ini";
    LoadBeginMsg();

    Events.RelayFrom(*protocol_);
    protocol_->OnCommandResult = [this](int id, int result) {
        receipt_.Result(id, result);
        Events.CommandResult(id, result);
    };
    protocol_->OnPrint = [this](int c) { CapturePrintChar(c); };  // the header capture first

    GetSorbelDefaultProperties(settings_);
    PropertiesFrame()->FillLists();
    ShowSettings();
    AdvPropertiesFrame()->FillLists(settings_.Model);
    ShowAdvSettings();
    PropertiesFrame()->OnModelSelect = [this](int model) { ModelChanged(model); };
}

TSamsER350F::~TSamsER350F() {
    // The engine stops first, so that no event reaches the frames as they go.
    protocol_.reset();
    DestroyFrames();
}

// The limits follow the model of the basic settings, which the user's choice in the
// frame changes at once.
const TCashDriverConstraints* TSamsER350F::Constraints() const { return SamsER350FVersion(settings_.Model); }

std::string TSamsER350F::CashModelDescription() const {
    const TCashDriverConstraints* row = Constraints();
    return std::string(kSorbelName) + '\x01' + (row ? row->VersionName : std::string());
}

const TCashDriverConstraints& TSamsER350F::Version() const {
    const TCashDriverConstraints* v = SamsER350FVersion(settings_.Model);
    return v ? *v : *SamsER350FVersion(0);
}

int TSamsER350F::Init(std::string& cause) {
    try {
        if (!protocol_->SetModel(settings_.Model)) {
            // The engine would keep another row while the limits say none.
            cause = FormatOne(kUnknownModel, settings_.Model);
            return -1;
        }
        protocol_->SetKeyCheckMode(settings_.KeyCheckMode);
        ModelChanged(settings_.Model);
        // The settings keep these waits in milliseconds.
        protocol_->SetWaitCheckOutPrint(std::chrono::milliseconds(settings_.WaitCheckOutPrint));
        protocol_->SetWaitCheckOutLongPrint(std::chrono::milliseconds(settings_.WaitCheckOutLongPrint));
        protocol_->ApplyPriority(settings_.Priority);
        return protocol_->Open(cause);
    } catch (const std::exception&) {
        cause = "Ошибка инициализации";
        return -1;
    }
}

void TSamsER350F::Done() { protocol_->Close(); }

// ---- amounts ------------------------------------------------------------------------

std::optional<std::int32_t> TSamsER350F::Units(Currency amount) const {
    return CurrencyToUnits(amount, Setup.DigitCount);
}

// The price to key as units: Sum, or SumWithoutNDS when system mode 5 says that
// prices exclude the tax; none for another mode or an amount the register cannot
// take (it must be at least one unit).
std::optional<std::int32_t> TSamsER350F::PriceUnits(Currency SumWithoutNDS, Currency Sum) const {
    Currency price;
    switch (advSettings_.SysCond(5)) {
        case 0: price = Sum; break;
        case 1: price = SumWithoutNDS; break;
        default: return std::nullopt;
    }
    const auto units = Units(price);
    if (!units || *units <= 0) return std::nullopt;
    return units;
}

std::optional<std::int32_t> TSamsER350F::DepartmentPrice(std::int32_t NDep, Currency SumWithoutNDS,
                                                          Currency Sum) const {
    const Currency zero;
    if (!(SumWithoutNDS > zero && Sum > zero && SumWithoutNDS <= Sum && NDep > 0 && NDep <= Version().MaxDep))
        return std::nullopt;
    return PriceUnits(SumWithoutNDS, Sum);
}

// Article sales: both amounts above 0 key a price, both 0 sell at the price
// programmed in the register (price stays none).
bool TSamsER350F::ArticlePrice(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum,
                               std::optional<std::int32_t>& price) const {
    const Currency zero;
    if (NArt <= 0 || NArt > Version().MaxArt || SumWithoutNDS > Sum) return false;
    if (SumWithoutNDS > zero && Sum > zero) {
        price = PriceUnits(SumWithoutNDS, Sum);
        return price.has_value();
    }
    price.reset();
    return SumWithoutNDS == zero && Sum == zero;
}

// ---- sales and voids ----------------------------------------------------------------

// 7, which starts every sale, void, payment and cash operation; then the count and
// its separator, when there is one.
void TSamsER350F::StartOperation(const std::function<void()>& count) {
    protocol_->Enqueue(kSamsKeyStart, P, kKindStart, "", kFirst);
    if (count) {
        count();
        protocol_->EnqueueKey(kSamsKeySeparator, P, kKindShort);
    }
}

// The digits of a number (an amount in units, a count, an article).
void TSamsER350F::KeyNumber(std::int32_t units) { EnterNumber(*protocol_, units, 0, P, kKindShort, "", 0); }

// The key that ends an operation, with its command id.
int TSamsER350F::FinishOperation(std::uint8_t key) { return protocol_->EnqueueWithId(key, P, "", kKindSale); }

// The key that ends a sale, payout or void, whose line the receipt keeps: price times
// the count in thousandths, cut as the register cuts it; none for the register's price.
int TSamsER350F::FinishLine(std::uint8_t key, std::int32_t article, std::optional<std::int32_t> price,
                            std::int64_t thousandths, int sign) {
    const int id = FinishOperation(key);
    std::optional<std::int64_t> amount;
    if (price) amount = sign * (static_cast<std::int64_t>(*price) * thousandths / 1000);
    receipt_.Add({id, article, price.value_or(0), amount});
    return id;
}

int TSamsER350F::SellDepartment(const std::string& Name, std::int32_t NDep, std::int32_t price,
                                std::int64_t thousandths, const std::function<void()>& count) {
    if (!Name.empty()) PrintTextLines(Name, true);
    StartOperation(count);
    KeyNumber(price);
    return FinishLine(KeyOfDigit(NDep + 9), 0, price, thousandths, 1);
}

int TSamsER350F::PayDepartment(const std::string& Name, std::int32_t NDep, Currency SumWithoutNDS, Currency Sum) {
    if (const auto price = DepartmentPrice(NDep, SumWithoutNDS, Sum))
        return SellDepartment(Name, NDep, *price, 1000, {});
    // A payout by department; SumWithoutNDS is not examined.
    if (Sum < Currency() && NDep > 0 && NDep <= Version().MaxDep &&
        Sum.raw() != std::numeric_limits<std::int64_t>::min()) {
        const auto units = Units(Currency::FromRaw(-Sum.raw()));
        if (!units || *units <= 0) return -1;
        if (!Name.empty()) AddInfoText(Name, false);
        StartOperation();
        protocol_->EnqueueKey(kSamsKeyCashOut, P, kKindShort);
        KeyNumber(*units);
        return FinishLine(KeyOfDigit(NDep + 9), 0, *units, 1000, -1);
    }
    return -1;
}

int TSamsER350F::PayDepartmentQty(const std::string& Name, std::int32_t Count, Currency SumWithoutNDS, Currency Sum,
                                  std::int32_t NDep) {
    const auto price = DepartmentPrice(NDep, SumWithoutNDS, Sum);
    if (!price || Count <= 0) return -1;
    return SellDepartment(Name, NDep, *price, std::int64_t{Count} * 1000, [&] { KeyNumber(Count); });
}

int TSamsER350F::PayDepartmentFrac(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                                   std::int32_t NDep) {
    const auto price = DepartmentPrice(NDep, SumWithoutNDS, Sum);
    if (!price || !FractionFits(Count)) return -1;
    return SellDepartment(Name, NDep, *price, Thousandths(Count),
                          [&] { EnterFraction(*protocol_, 0, 3, Count, P, kKindShort, "", 0); });
}

int TSamsER350F::AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                           std::int32_t NDep) {
    return SellByCount(
        Count, [&] { return PayDepartment(Name, NDep, SumWithoutNDS, Sum); },
        [&] { return PayDepartmentFrac(Name, Count, SumWithoutNDS, Sum, NDep); },
        [&](std::int32_t n) { return PayDepartmentQty(Name, n, SumWithoutNDS, Sum, NDep); });
}

int TSamsER350F::VoidDepartment(std::int32_t NDep, Currency SumWithoutNDS, Currency Sum) {
    const auto price = DepartmentPrice(NDep, SumWithoutNDS, Sum);
    if (!price) return -1;
    StartOperation();
    KeyNumber(*price);
    protocol_->EnqueueKey(kSamsKeyVoid, P, kKindShort);
    return FinishLine(KeyOfDigit(NDep + 9), 0, *price, 1000, -1);
}

int TSamsER350F::SellArticle(std::int32_t NArt, std::optional<std::int32_t> price, std::int64_t thousandths,
                             const std::function<void()>& count) {
    StartOperation(count);
    KeyNumber(NArt);
    if (price) {
        protocol_->EnqueueKey(kSamsKeyArticle, P, kKindShort);
        KeyNumber(*price);
    }
    return FinishLine(kSamsKeyArticle, NArt, price, thousandths, 1);
}

int TSamsER350F::AddPayArt(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum) {
    std::optional<std::int32_t> price;
    if (!ArticlePrice(NArt, SumWithoutNDS, Sum, price)) return -1;
    RaiseText(ICashDriverAutoEvents::OnProtocolLog, "AddPayArt: \r\n");
    return SellArticle(NArt, price, 1000, {});
}

int TSamsER350F::AddPayArtInt(std::int32_t Count, std::int32_t NArt, Currency SumWithoutNDS, Currency Sum) {
    std::optional<std::int32_t> price;
    if (Count <= 0 || !ArticlePrice(NArt, SumWithoutNDS, Sum, price)) return -1;
    return SellArticle(NArt, price, std::int64_t{Count} * 1000, [&] { KeyNumber(Count); });
}

int TSamsER350F::AddPayArtFrac(std::int32_t NArt, double Count, Currency SumWithoutNDS, Currency Sum) {
    std::optional<std::int32_t> price;
    if (!FractionFits(Count) || !ArticlePrice(NArt, SumWithoutNDS, Sum, price)) return -1;
    return SellArticle(NArt, price, Thousandths(Count),
                       [&] { EnterFraction(*protocol_, 0, 3, Count, P, kKindShort, "", 0); });
}

int TSamsER350F::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    const auto* art = Setup.ArtList.FindByN<TCashArtProperties>(NArt);
    return art ? VoidDepartment(art->NDep, SumWithoutNDS, Sum) : -1;
}

// ---- payment and cash ---------------------------------------------------------------

int TSamsER350F::CloseCheck(TPayType PayType, Currency Sum) {
    std::uint8_t key = kSamsKeyCash;
    if (PayType == TPayType::Check) key = kSamsKeyCheck;
    if (PayType == TPayType::Credit) key = kSamsKeyCredit;
    std::optional<std::int32_t> tendered;
    if (Sum > Currency() && (PayType == TPayType::Cash || PayType == TPayType::Check)) {
        tendered = Units(Sum);
        if (!tendered) return -1;  // more than the register can key
        if (*tendered == 0) tendered.reset();
    }
    // The register would take a short tender as part of a split payment and keep the
    // receipt open: a close that does not cover the lines queued is refused.
    if (const auto total = receipt_.Total(); tendered && total && *total > *tendered) return -1;
    RaiseText(ICashDriverAutoEvents::OnProtocolLog, "CloseCheck: \r\n");
    StartOperation();
    if (tendered) KeyNumber(*tendered);
    const int id = FinishOperation(key);
    receipt_.Close(id);
    return id;
}

int TSamsER350F::CashMove(const char* log, std::uint8_t key, const std::string& Info, Currency Sum) {
    const auto units = Units(Sum);
    if (Sum <= Currency() || !units || *units <= 0) return -1;
    if (!Info.empty()) AddInfoText(Info, true);
    RaiseText(ICashDriverAutoEvents::OnProtocolLog, log);
    StartOperation();
    KeyNumber(*units);
    return FinishOperation(key);
}

int TSamsER350F::AddCash(TPayType, const std::string& Info, Currency Sum) {
    return CashMove("AddCash: \r\n", kSamsKeyCashIn, Info, Sum);
}

int TSamsER350F::ReturnCash(TPayType, const std::string& Info, Currency Sum) {
    return CashMove("ReturnCash: \r\n", kSamsKeyCashOut, Info, Sum);
}

// ---- text on the receipt ------------------------------------------------------------

int TSamsER350F::AddInfoText(const std::string& Text, bool Receipt) {
    RaiseText(ICashDriverAutoEvents::OnProtocolLog, "AddInfo: " + Text + "\r\n");
    const std::string wrapped = WrapText(Text, Version().NameLength);
    if (wrapped.empty()) return -1;
    PrintTextLines(wrapped, Receipt);
    return 0;
}

void TSamsER350F::PrintTextLines(const std::string& Text, bool Receipt) {
    const std::size_t width = static_cast<std::size_t>(std::max(1, Version().NameLength));
    const std::string text = Utf8ToCp1251(Text);  // one byte per character
    TSamsER350FProtocol& p = *protocol_;
    for (std::size_t pos = 0; pos < text.size(); pos += width) {
        const std::string piece = text.substr(pos, width);
        if (Receipt) {
            p.Enqueue(kSamsKeyStart, P, kKindSale, "", kFirst);
            p.EnqueueKey(kSamsKeyTextLine, P, kKindNoEcho);
        } else {
            p.Enqueue(kSamsKeyTextLine, P, kKindNoEcho, "", kFirst);
        }
        for (const char c : piece) p.EnqueueKey(AnsiToDevice(static_cast<std::uint8_t>(c)), P, kKindRaw);
        for (std::size_t i = piece.size(); i < width; ++i) p.EnqueueKey(kSamsKeySpace, P, kKindRaw);
        p.EnqueueKey(kSamsKeyTextEnd, P, kKindShort);
        p.EnqueueKey(kSamsKeyTextPrint, P, kKindTextEnd);
    }
}

// ---- cashiers and the keyboard ------------------------------------------------------

int TSamsER350F::RegOp(std::int32_t NOp, const std::string& Password) {
    const auto password = ParseDecimalDigits(Password);
    if (NOp <= 0 || NOp > Version().MaxOp || !password) return -1;
    UnRegOp();  // its id reports a result of its own
    TSamsER350FProtocol& p = *protocol_;
    EnterNumber(p, *password, 4, P, kKindShort, "", kFirst);
    EnterNumber(p, NOp, 1, P, kKindShort, "", 0);
    p.EnqueueKey(kSamsKeyCashier, P, kKindShort);
    return p.EnqueueWithId(kSamsKeyStart, P, "", kKindStart);
}

int TSamsER350F::UnRegOp() {
    TSamsER350FProtocol& p = *protocol_;
    p.Enqueue(KeyOfDigit(0), P, kKindShort, "", kFirst);
    p.EnqueueKey(kSamsKeyCashier, P, kKindShort);
    return p.EnqueueWithId(kSamsKeyStart, P, "", kKindStart);
}

int TSamsER350F::LockKeyboard() {
    if (protocol_->Model() == 0) return 0;
    return protocol_->EnqueueWithId(kSamsKeyLock, P, "", kKindRaw);
}

int TSamsER350F::UnlockKeyboard() {
    if (protocol_->Model() == 0) return 0;
    return protocol_->EnqueueWithId(kSamsKeyUnlock, P, "", kKindRaw);
}

int TSamsER350F::Restore() { return advSettings_.BlockKeyboard ? LockKeyboard() : UnlockKeyboard(); }

// ---- the line -------------------------------------------------------------------------

// In interaction once the register has answered and its identification is whole.
bool TSamsER350F::GetInInteraction() const { return protocol_->Connected() && !protocol_->IdPending(); }
std::string TSamsER350F::GetID() const { return protocol_->ID(); }

void TSamsER350F::ModelChanged(int model) {
    if (TfrmSamsER350FAdvProperties* frame = AdvPropertiesFrame()) {
        frame->SetModel(model);
        // The refilled lists show the settings again rather than no selection, which
        // a later AdvProperties get would read as 255.
        ShowAdvSettings();
    }
    Events.Raise(ICashDriverAutoEvents::OnModelChange, {});
}

}  // namespace tolver
