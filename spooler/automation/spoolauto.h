#pragma once
// The spooler's two automation objects as plain classes over the main window
// (AutomationHost): SpoolAuto, the older procedure-style object that returns no
// command ids, and SpoolAuto1, the current one, which returns the driver's command ids
// and is a client of the result relay. The bus server (automationserver.h) gives each
// of them a D-Bus object; the main window may be absent (nullptr), in which case the
// members answer their initial values. Each class binds its members to the rows of
// its member table (Bindings, memberbinding.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "spooler/automation/automationhost.h"

namespace tolver::spooler {

inline constexpr const char* kUnfinishedCheckText = "Имеется незавершенный чек";

// The password of RegOp split at its last #1: the text before it stays the password,
// and the reports run exactly when the tail after it is "DoReports".
struct RegOpPassword {
    std::string password;
    bool doReports = false;
};
RegOpPassword SplitRegOpPassword(const std::string& password);

template <class Object>
struct MemberBinding;

// The window that Prepare named, one for the whole server (the last call wins,
// whichever object made it): the client that called it, the window handle and the id.
struct PreparedWindow {
    std::string owner;
    std::int32_t handle = 0;
    std::int32_t id = 0;
};

class TSpoolAuto {
public:
    // owner: the client that the object was made for; prepared: where Prepare names
    // its window (none: Prepare keeps nothing).
    explicit TSpoolAuto(AutomationHost* mainForm, std::string owner = {}, PreparedWindow* prepared = nullptr)
        : mainForm_(mainForm), owner_(std::move(owner)), prepared_(prepared) {}

    // One binding per row of bus::kSpoolAutoMembers.
    static std::span<const MemberBinding<TSpoolAuto>> Bindings();

    void CloseCheck(Currency Avans);
    void AddPayDep(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NDep);
    void AddPayArt(Currency SumWithoutNDS, Currency NDS, Currency Sum, std::int32_t NArt);
    void SetIdent(const std::string& text);
    std::string DriverInfo();
    void SetIdentOnce(const std::string& text) { SetIdent(text); }
    void AddCash(Currency Sum, bool Print);
    void ReturnCash(Currency Sum, bool Print);
    void GetReports();
    // The modal sign-on; done runs when the dialog has closed (its result is dropped).
    void Reg(std::function<void()> done);
    // These three do nothing.
    void ViewPayArch() {}
    void BlockKeyb() {}
    void UnBlockKeyb() {}
    // Keeps the window to tell when the spooler closes (Prepared); works without a
    // main window.
    void Prepare(std::int32_t pHandle, std::int32_t aID);
    std::string ID();
    void AddPayDepName(const std::string& Name, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep);
    bool CanExit(std::string& Info);

private:
    void SaleResult(std::int32_t result);

    AutomationHost* mainForm_;
    std::string owner_;
    PreparedWindow* prepared_;
};

class TSpoolAuto1 : public ISpoolerClient {
public:
    using Sink = std::function<void(std::int32_t commandId, std::int32_t commandResult)>;

    // Joins the main window's client list.
    explicit TSpoolAuto1(AutomationHost* mainForm);
    // Leaves it; the last client to leave closes the spooler.
    ~TSpoolAuto1();
    TSpoolAuto1(const TSpoolAuto1&) = delete;
    TSpoolAuto1& operator=(const TSpoolAuto1&) = delete;

    // One binding per row of bus::kSpoolAuto1Members.
    static std::span<const MemberBinding<TSpoolAuto1>> Bindings();

    // Events: any number of sinks, each with its cookie (from 1).
    std::uint32_t Advise(Sink sink);
    bool Unadvise(std::uint32_t cookie);
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override;

    std::int32_t AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                           std::int32_t NDep);
    std::int32_t AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t AddCash(Currency Sum, TPayType PayType, const std::string& Info);
    std::int32_t CloseCheck(Currency Sum, TPayType PayType);
    std::int32_t RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password);
    std::int32_t UnRegOp();
    bool InInteraction();
    std::string ID();
    std::int32_t AddInfo(const std::string& Text);
    bool CanExit(std::string& Info);
    void GetReportsDialog();
    // The modal sign-on; done gets its result (-1 when cancelled) when the dialog has closed.
    void GetRegDialog(std::function<void(std::int32_t)> done);
    std::int32_t ReturnCash(Currency Sum, TPayType PayType, const std::string& Info);
    // Fails (EOleError) without a main window or when the menu cannot be set.
    void SetControlEnabled(bool value);
    std::int32_t DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep);
    std::int32_t DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::string XReportItems();
    std::string ZReportItems();
    std::int32_t GetXReport(const std::string& Items);
    std::int32_t GetZReport(const std::string& Items);
    std::string TrashID();
    std::string ArtItems();
    std::int32_t GetArtParams(std::int32_t N, std::string& Description, std::int32_t& NDep, std::int32_t& NTax,
                              Currency& Price);
    std::string TaxItems();
    std::int32_t GetTaxParams(std::int32_t N, std::string& Description, Currency& TaxValue, Currency& TaxValueAdv);
    std::int32_t OpenCheck(const std::string& Info);
    std::string DepItems();
    std::int32_t GetDepParams(std::int32_t N, std::string& Description, std::int32_t& NTax);
    std::int32_t SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                        const std::string& Description, bool Return);
    std::string BeginMsg();

private:
    // Sale bookkeeping: a positive sum that the driver accepted opens the receipt.
    void SaleResult(Currency Sum, std::int32_t result);

    AutomationHost* mainForm_;
    struct SinkEntry {
        std::uint32_t cookie;
        std::shared_ptr<ISpoolerSink> sink;
    };
    std::vector<SinkEntry> sinks_;
    std::uint32_t nextCookie_ = 1;
};

}  // namespace tolver::spooler
