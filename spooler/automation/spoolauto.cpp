#include "spooler/automation/spoolauto.h"

#include <exception>
#include <type_traits>

#include "common/utilgl.h"
#include "common/xtcollection.h"
#include "platform/com/hresult.h"
#include "spooler/automation/memberbinding.h"

namespace tolver::spooler {

namespace {

// A driver call whose failure the member swallows.
template <class F>
void Swallow(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

// The number of every item, each followed by ";"; what was built so far on an error.
std::string ItemNumbers(const TXtCollection& list) {
    std::string out;
    Swallow([&] {
        for (int i = 0; i < list.Count(); ++i) {
            out += std::to_string(list.GetItem(i)->N);
            out += ';';
        }
    });
    return out;
}

// A member whose errors go back to the caller: the text of any error with E_FAIL.
template <class F>
auto Reported(F&& f) {
    try {
        return f();
    } catch (const EOleError&) {
        throw;
    } catch (const std::exception& e) {
        throw EOleError(e.what(), E_FAIL);
    }
}

// What SpoolAuto and SpoolAuto1 answer alike.

// The spooler may close unless a receipt is open; then Info says why not.
bool CanExitNow(AutomationHost* mainForm, std::string& Info) {
    if (!mainForm || !mainForm->Receipt().Open()) return true;
    Info = kUnfinishedCheckText;
    return false;
}

constexpr const auto& kTable = bus::kSpoolAutoMembers;
constexpr const auto& kTable1 = bus::kSpoolAuto1Members;

// The flags of a member's row, by its name, at compile time.
template <const auto& Table, bus::MemberName Name>
constexpr unsigned FlagsOf() {
    constexpr int index = bus::MemberIndex(Table, Name.view());
    static_assert(index >= 0, "the member table has no row of this name");
    return Table[index].flags;
}

// What a member's row asks of the receipt before the member runs: an unclosed
// receipt closed in cash first (kClosesReceipt; a failure is swallowed), and false
// where the member needs an unclosed receipt and there is none (kNeedsReceipt).
bool ReceiptReady(AutomationHost& host, unsigned flags) {
    if (flags & bus::kClosesReceipt) Swallow([&] { host.Receipt().CloseFirst(); });
    return !(flags & bus::kNeedsReceipt) || host.Receipt().Unclosed();
}

// Whether commands may go to the driver: a main window, and a driver whose line is
// open. A driver that could not open the register's line would queue them for ever.
bool TakesCommands(AutomationHost* host) { return host && host->DriverReady(); }

// What a member answers when it cannot ask the driver: -1 for a command, else empty.
template <class R>
R Initial() {
    if constexpr (std::is_same_v<R, std::int32_t>)
        return -1;
    else
        return R{};
}

// A member that only forwards to the driver member of the same arguments, after its
// row's receipt rules. Without a main window, without the receipt it needs, when the
// driver fails, or for a command (an Integer answer) while the driver takes none, it
// answers Initial.
template <const auto& Table, bus::MemberName Name, class... P, class... A>
auto Forward(AutomationHost* host, HRESULT (ICashDriverAuto::*member)(P...), const A&... args) {
    using R = decltype(host->Driver().Call(member, args...));
    if constexpr (std::is_void_v<R>) {
        if (host && ReceiptReady(*host, FlagsOf<Table, Name>())) Swallow([&] { host->Driver().Call(member, args...); });
    } else {
        R value = Initial<R>();
        const bool ready = std::is_same_v<R, std::int32_t> ? TakesCommands(host) : host != nullptr;
        if (ready && ReceiptReady(*host, FlagsOf<Table, Name>()))
            Swallow([&] { value = host->Driver().Call(member, args...); });
        return value;
    }
}

void ShowReports(AutomationHost* mainForm) {
    if (mainForm) Swallow([&] { mainForm->ShowReports(); });
}

}  // namespace

RegOpPassword SplitRegOpPassword(const std::string& password) {
    RegOpPassword out;
    out.password = password;
    if (password.find('\x01') == std::string::npos) return out;
    std::string tail;
    CutLastToken(out.password, "\x01", tail);
    out.doReports = tail == "DoReports";
    return out;
}


// ---- SpoolAuto -----------------------------------------------------------------------

void TSpoolAuto::CloseCheck(Currency Avans) {
    if (!TakesCommands(mainForm_)) return;
    Swallow([&] { mainForm_->Receipt().Close(Avans, TPayType::Cash); });
}

void TSpoolAuto::SaleResult(std::int32_t result) {
    if (result >= 0) mainForm_->Receipt().Opened();
}

void TSpoolAuto::AddPayDep(Currency SumWithoutNDS, Currency, Currency Sum, std::int32_t NDep) {
    AddPayDepName(std::string(), SumWithoutNDS, Sum, NDep);
}

void TSpoolAuto::AddPayDepName(const std::string& Name, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep) {
    if (!TakesCommands(mainForm_)) return;
    Swallow([&] { SaleResult(mainForm_->Driver().Call(&ICashDriverAuto::AddPayDep, Name, 1, SumWithoutNDS, Sum, NDep)); });
}

void TSpoolAuto::AddPayArt(Currency SumWithoutNDS, Currency, Currency Sum, std::int32_t NArt) {
    if (!TakesCommands(mainForm_)) return;
    Swallow([&] { SaleResult(mainForm_->Driver().Call(&ICashDriverAuto::AddPayArt, 1, SumWithoutNDS, Sum, NArt)); });
}

void TSpoolAuto::SetIdent(const std::string& text) {
    Forward<kTable, "Ident">(mainForm_, &ICashDriverAuto::AddInfo, text);
}

std::string TSpoolAuto::DriverInfo() {
    std::string out;
    if (mainForm_) Swallow([&] { out = mainForm_->DriverInfo(); });
    return out;
}

// Only a printed cash move closes the receipt first: it is not a row rule.
void TSpoolAuto::AddCash(Currency Sum, bool Print) {
    if (!TakesCommands(mainForm_) || !Print) return;
    ReceiptReady(*mainForm_, bus::kClosesReceipt);
    Swallow([&] { mainForm_->Driver().Call(&ICashDriverAuto::AddCash, Sum, TPayType::Cash, std::string()); });
}

void TSpoolAuto::ReturnCash(Currency Sum, bool Print) {
    if (!TakesCommands(mainForm_) || !Print) return;
    ReceiptReady(*mainForm_, bus::kClosesReceipt);
    Swallow([&] { mainForm_->Driver().Call(&ICashDriverAuto::ReturnCash, Sum, TPayType::Cash, std::string()); });
}

void TSpoolAuto::GetReports() { ShowReports(mainForm_); }

void TSpoolAuto::Reg(std::function<void()> done) {
    if (!mainForm_) return done();
    mainForm_->ShowRegDialog([done = std::move(done)](std::int32_t) { done(); });
}

void TSpoolAuto::Prepare(std::int32_t pHandle, std::int32_t aID) {
    if (prepared_) *prepared_ = {owner_, pHandle, aID};
}

std::string TSpoolAuto::ID() { return Forward<kTable, "ID">(mainForm_, &ICashDriverAuto::get_ID); }

bool TSpoolAuto::CanExit(std::string& Info) { return CanExitNow(mainForm_, Info); }

// ---- SpoolAuto1 ----------------------------------------------------------------------

TSpoolAuto1::TSpoolAuto1(AutomationHost* mainForm) : mainForm_(mainForm) {
    if (mainForm_) mainForm_->AddClient(this);
}

TSpoolAuto1::~TSpoolAuto1() {
    if (mainForm_) mainForm_->RemoveClient(this);
}

namespace {

class TSinkCall final : public ISpoolerSink {
public:
    explicit TSinkCall(TSpoolAuto1::Sink sink) : sink_(std::move(sink)) {}
    void OnCommandResult(std::int32_t CommandID, std::int32_t CommandResult) override { sink_(CommandID, CommandResult); }

private:
    TSpoolAuto1::Sink sink_;
};

}  // namespace

std::uint32_t TSpoolAuto1::Advise(Sink sink) {
    const std::uint32_t cookie = nextCookie_++;
    sinks_.push_back({cookie, std::make_shared<TSinkCall>(std::move(sink))});
    return cookie;
}

bool TSpoolAuto1::Unadvise(std::uint32_t cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it)
        if (it->cookie == cookie) {
            sinks_.erase(it);
            return true;
        }
    return false;
}

std::vector<std::shared_ptr<ISpoolerSink>> TSpoolAuto1::Sinks() const {
    std::vector<std::shared_ptr<ISpoolerSink>> out;
    for (const auto& entry : sinks_) out.push_back(entry.sink);
    return out;
}

void TSpoolAuto1::SaleResult(Currency Sum, std::int32_t result) {
    if (Sum > Currency() && result >= 0) mainForm_->Receipt().Opened();
}

std::int32_t TSpoolAuto1::AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                                    std::int32_t NDep) {
    std::int32_t value = -1;
    if (!TakesCommands(mainForm_)) return value;
    Swallow([&] {
        value = mainForm_->Driver().Call(&ICashDriverAuto::AddPayDep, Name, Count, SumWithoutNDS, Sum, NDep);
        SaleResult(Sum, value);
    });
    return value;
}

std::int32_t TSpoolAuto1::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    std::int32_t value = -1;
    if (!TakesCommands(mainForm_)) return value;
    Swallow([&] {
        value = mainForm_->Driver().Call(&ICashDriverAuto::AddPayArt, Count, SumWithoutNDS, Sum, NArt);
        SaleResult(Sum, value);
    });
    return value;
}

std::int32_t TSpoolAuto1::AddCash(Currency Sum, TPayType PayType, const std::string& Info) {
    return Forward<kTable1, "AddCash">(mainForm_, &ICashDriverAuto::AddCash, Sum, PayType, Info);
}

std::int32_t TSpoolAuto1::ReturnCash(Currency Sum, TPayType PayType, const std::string& Info) {
    return Forward<kTable1, "ReturnCash">(mainForm_, &ICashDriverAuto::ReturnCash, Sum, PayType, Info);
}

std::int32_t TSpoolAuto1::CloseCheck(Currency Sum, TPayType PayType) {
    std::int32_t value = -1;
    if (!TakesCommands(mainForm_)) return value;
    Swallow([&] { value = mainForm_->Receipt().Close(Sum, PayType); });
    return value;
}

std::int32_t TSpoolAuto1::RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password) {
    std::int32_t value = -1;
    if (!TakesCommands(mainForm_)) return value;
    ReceiptReady(*mainForm_, FlagsOf<kTable1, "RegOp">());
    const RegOpPassword split = SplitRegOpPassword(Password);
    Swallow([&] { value = mainForm_->RegisterCashier(NOp, NameOp, split.doReports, split.password); });
    return value;
}

std::int32_t TSpoolAuto1::UnRegOp() {
    std::int32_t value = -1;
    if (!TakesCommands(mainForm_)) return value;
    ReceiptReady(*mainForm_, FlagsOf<kTable1, "UnRegOp">());
    Swallow([&] { value = mainForm_->UnregisterCashier(); });
    return value;
}

bool TSpoolAuto1::InInteraction() {
    return Forward<kTable1, "InInteraction">(mainForm_, &ICashDriverAuto::get_InInteraction);
}

std::string TSpoolAuto1::ID() { return Forward<kTable1, "ID">(mainForm_, &ICashDriverAuto::get_ID); }

std::int32_t TSpoolAuto1::AddInfo(const std::string& Text) {
    return Forward<kTable1, "AddInfo">(mainForm_, &ICashDriverAuto::AddInfo, Text);
}

bool TSpoolAuto1::CanExit(std::string& Info) { return CanExitNow(mainForm_, Info); }

void TSpoolAuto1::GetReportsDialog() { ShowReports(mainForm_); }

void TSpoolAuto1::GetRegDialog(std::function<void(std::int32_t)> done) {
    if (!mainForm_) return done(-1);
    mainForm_->ShowRegDialog(std::move(done));
}

void TSpoolAuto1::SetControlEnabled(bool value) {
    if (!mainForm_) throw EOleError("Нет главного окна", E_UNEXPECTED);
    Reported([&] { mainForm_->SetControlEnabled(value); });
}

std::int32_t TSpoolAuto1::DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep) {
    return Forward<kTable1, "DelPayDep">(mainForm_, &ICashDriverAuto::DelPayDep, SumWithoutNDS, Sum, NDep);
}

std::int32_t TSpoolAuto1::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    return Forward<kTable1, "DelPayArt">(mainForm_, &ICashDriverAuto::DelPayArt, SumWithoutNDS, Sum, NArt);
}

std::string TSpoolAuto1::XReportItems() {
    return Forward<kTable1, "XReportItems">(mainForm_, &ICashDriverAuto::get_XReportItems);
}

std::string TSpoolAuto1::ZReportItems() {
    return Forward<kTable1, "ZReportItems">(mainForm_, &ICashDriverAuto::get_ZReportItems);
}

std::int32_t TSpoolAuto1::GetXReport(const std::string& Items) {
    return Forward<kTable1, "GetXReport">(mainForm_, &ICashDriverAuto::GetXReport, Items);
}

std::int32_t TSpoolAuto1::GetZReport(const std::string& Items) {
    return Forward<kTable1, "GetZReport">(mainForm_, &ICashDriverAuto::GetZReport, Items);
}

std::string TSpoolAuto1::TrashID() {
    return Forward<kTable1, "TrashID">(mainForm_, &ICashDriverAuto::get_TrashID);
}

std::string TSpoolAuto1::ArtItems() { return mainForm_ ? ItemNumbers(mainForm_->Setup().ArtList) : std::string(); }
std::string TSpoolAuto1::TaxItems() { return mainForm_ ? ItemNumbers(mainForm_->Setup().TaxList) : std::string(); }
std::string TSpoolAuto1::DepItems() { return mainForm_ ? ItemNumbers(mainForm_->Setup().DepList) : std::string(); }

std::int32_t TSpoolAuto1::GetArtParams(std::int32_t N, std::string& Description, std::int32_t& NDep,
                                       std::int32_t& NTax, Currency& Price) {
    if (!mainForm_) return -1;
    return Reported([&] {
        const auto* art = mainForm_->Setup().ArtList.FindByN<TCashArtProperties>(N);
        if (!art) return -1;
        Description = art->Description;
        NDep = art->NDep;
        NTax = art->NTax;
        Price = art->Price;
        return 0;
    });
}

std::int32_t TSpoolAuto1::GetTaxParams(std::int32_t N, std::string& Description, Currency& TaxValue,
                                       Currency& TaxValueAdv) {
    if (!mainForm_) return -1;
    return Reported([&] {
        const auto* tax = mainForm_->Setup().TaxList.FindByN<TCashTaxProperties>(N);
        if (!tax) return -1;
        Description = tax->Description;
        TaxValue = tax->Value;
        TaxValueAdv = tax->ValueAdv;
        return 0;
    });
}

std::int32_t TSpoolAuto1::GetDepParams(std::int32_t N, std::string& Description, std::int32_t& NTax) {
    if (!mainForm_) return -1;
    return Reported([&] {
        const auto* dep = mainForm_->Setup().DepList.FindByN<TCashDepProperties>(N);
        if (!dep) return -1;
        Description = dep->Description;
        NTax = dep->NTax;
        return 0;
    });
}

std::int32_t TSpoolAuto1::OpenCheck(const std::string& Info) {
    return Forward<kTable1, "OpenCheck">(mainForm_, &ICashDriverAuto::OpenCheck, Info);
}

std::int32_t TSpoolAuto1::SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                                 const std::string& Description, bool Return) {
    return Forward<kTable1, "SetArt">(mainForm_, &ICashDriverAuto::SetArt, NArt, NDep, NTax, Price, Description, Return);
}

std::string TSpoolAuto1::BeginMsg() {
    std::string value;
    if (mainForm_) Swallow([&] { value = mainForm_->GetBeginMsg(); });
    return value;
}

// ---- the members on the bus ---------------------------------------------------------

std::span<const MemberBinding<TSpoolAuto>> TSpoolAuto::Bindings() {
    using T = TSpoolAuto;
    static constexpr const auto& table = bus::kSpoolAutoMembers;
    static constexpr MemberBinding<T> bindings[] = {
        Bind<table, "CloseCheck", &T::CloseCheck>(),
        Bind<table, "AddPayDep", &T::AddPayDep>(),
        Bind<table, "AddPayArt", &T::AddPayArt>(),
        Bind<table, "Ident", &T::SetIdent>(),
        Bind<table, "DriverInfo", &T::DriverInfo>(),
        Bind<table, "IdentOnce", &T::SetIdentOnce>(),
        Bind<table, "AddCash", &T::AddCash>(),
        Bind<table, "ReturnCash", &T::ReturnCash>(),
        Bind<table, "GetReports", &T::GetReports>(),
        Bind<table, "Reg", &T::Reg>(),
        Bind<table, "ViewPayArch", &T::ViewPayArch>(),
        Bind<table, "BlockKeyb", &T::BlockKeyb>(),
        Bind<table, "UnBlockKeyb", &T::UnBlockKeyb>(),
        Bind<table, "Prepare", &T::Prepare>(),
        Bind<table, "ID", &T::ID>(),
        Bind<table, "AddPayDepName", &T::AddPayDepName>(),
        Bind<table, "CanExit", &T::CanExit>(),
    };
    static_assert(BindsEveryRow(bindings, table));
    return bindings;
}

std::span<const MemberBinding<TSpoolAuto1>> TSpoolAuto1::Bindings() {
    using T = TSpoolAuto1;
    static constexpr const auto& table = bus::kSpoolAuto1Members;
    static constexpr MemberBinding<T> bindings[] = {
        Bind<table, "AddPayDep", &T::AddPayDep>(),
        Bind<table, "AddPayArt", &T::AddPayArt>(),
        Bind<table, "AddCash", &T::AddCash>(),
        Bind<table, "CloseCheck", &T::CloseCheck>(),
        Bind<table, "RegOp", &T::RegOp>(),
        Bind<table, "UnRegOp", &T::UnRegOp>(),
        Bind<table, "InInteraction", &T::InInteraction>(),
        Bind<table, "ID", &T::ID>(),
        Bind<table, "AddInfo", &T::AddInfo>(),
        Bind<table, "CanExit", &T::CanExit>(),
        Bind<table, "GetReportsDialog", &T::GetReportsDialog>(),
        Bind<table, "GetRegDialog", &T::GetRegDialog>(),
        Bind<table, "ReturnCash", &T::ReturnCash>(),
        Bind<table, "ControlEnabled", &T::SetControlEnabled>(),
        Bind<table, "DelPayDep", &T::DelPayDep>(),
        Bind<table, "DelPayArt", &T::DelPayArt>(),
        Bind<table, "XReportItems", &T::XReportItems>(),
        Bind<table, "ZReportItems", &T::ZReportItems>(),
        Bind<table, "GetXReport", &T::GetXReport>(),
        Bind<table, "GetZReport", &T::GetZReport>(),
        Bind<table, "TrashID", &T::TrashID>(),
        Bind<table, "ArtItems", &T::ArtItems>(),
        Bind<table, "GetArtParams", &T::GetArtParams>(),
        Bind<table, "TaxItems", &T::TaxItems>(),
        Bind<table, "GetTaxParams", &T::GetTaxParams>(),
        Bind<table, "OpenCheck", &T::OpenCheck>(),
        Bind<table, "DepItems", &T::DepItems>(),
        Bind<table, "GetDepParams", &T::GetDepParams>(),
        Bind<table, "SetArt", &T::SetArt>(),
        Bind<table, "BeginMsg", &T::BeginMsg>(),
    };
    static_assert(BindsEveryRow(bindings, table));
    return bindings;
}

}  // namespace tolver::spooler
