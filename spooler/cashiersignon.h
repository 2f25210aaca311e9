#pragma once
// The cashier's sign-on and sign-off at the register: an open receipt is closed first,
// the configured X and Z reports can run around the sign-on, and the number of the
// signed-on cashier is kept so that the link signs the same cashier on again when it
// comes back.

#include <cstdint>
#include <functional>
#include <string>

#include "common/cashgl.h"
#include "spooler/cashdriverauto.h"
#include "spooler/openreceipt.h"

namespace tolver {

class TCashierSignOn {
public:
    // signedOn is told whenever a sign-on has gone to the driver.
    TCashierSignOn(TCashDriverAutoClient& driver, TOpenReceipt& receipt, const TSpoolerSetup& setup,
                   std::function<void()> signedOn = {})
        : driver_(driver), receipt_(receipt), setup_(setup), signedOn_(std::move(signedOn)) {}

    // The cashier signed on last; -1 at start and after a sign-off.
    std::int32_t CashierN() const { return cashierN_; }

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
    TCashDriverAutoClient& driver_;
    TOpenReceipt& receipt_;
    const TSpoolerSetup& setup_;
    std::function<void()> signedOn_;
    std::int32_t cashierN_ = -1;
};

}  // namespace tolver
