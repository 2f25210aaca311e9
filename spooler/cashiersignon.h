#pragma once
// The cashier's sign-on and sign-off at the register, and the open receipt they share
// with the automation members and the tray menu: an open receipt is closed first, the
// configured X and Z reports can run around the sign-on, and the number of the
// signed-on cashier is kept so that the link signs the same cashier on again when it
// comes back.
//
// A receipt opens with a sale that the driver queued and closes when the register
// accepts its close (the close's result 0): until then it stays open for every
// client, and a refused close leaves it open. A sale queued behind a close that is
// still on its way opens the next receipt.

#include <cstdint>
#include <functional>
#include <vector>
#include <string>

#include "common/cashgl.h"
#include "spooler/cashdriverauto.h"

namespace tolver {

class TCashierSignOn {
public:
    // signedOn is told whenever a sign-on has gone to the driver.
    TCashierSignOn(TCashDriverAutoClient& driver, const TSpoolerSetup& setup, std::function<void()> signedOn = {})
        : driver_(driver), setup_(setup), signedOn_(std::move(signedOn)) {}

    // The cashier signed on last; -1 at start and after a sign-off.
    std::int32_t CashierN() const { return cashierN_; }
    // A receipt is open at the register (also while its close is on its way).
    bool CheckOpen() const { return open_; }
    // A receipt is open and no close has been sent for it.
    bool ReceiptUnclosed() const { return open_ && (closes_.empty() || openAfterClose_); }
    // Counts the receipts opened, so that a caller can tell that a call opened one.
    std::uint64_t ReceiptNumber() const { return number_; }
    // A sale that opens or joins a receipt was queued.
    void ReceiptOpened();
    // The driver's CloseCheck, whose result 0 will close the receipt; a driver failure
    // arrives as an exception and changes nothing.
    std::int32_t CloseReceipt(Currency Sum, TPayType PayType);
    // A command's outcome as the driver reported it.
    void CommandCompleted(std::int32_t CommandID, std::int32_t CommandResult);

    // The driver's RegOp result, or -1 when the driver cannot be asked. An empty
    // password is taken from the cashier list; the cashier is kept even when the
    // driver refuses. An error ends the sequence and is swallowed.
    std::int32_t RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports, const std::string& Password);
    // The driver's UnRegOp result, or -1.
    std::int32_t UnregisterCashier();
    // The cashier kept, if any, signed on again: no name, no reports, the password
    // from the cashier list.
    void SignOnAgain();
    // "Закрыть &чек": the receipt is closed in cash; an error is swallowed.
    void CloseCheckNow();

private:
    // Closes an open receipt in cash first.
    void CloseOpenCheck();

    TCashDriverAutoClient& driver_;
    const TSpoolerSetup& setup_;
    std::function<void()> signedOn_;
    std::int32_t cashierN_ = -1;
    bool open_ = false;
    std::vector<std::int32_t> closes_;  // closes on their way, in order
    bool openAfterClose_ = false;       // a sale queued behind the last of them
    std::uint64_t number_ = 0;
};

}  // namespace tolver
