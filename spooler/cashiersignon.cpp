#include "spooler/cashiersignon.h"

#include <exception>

namespace tolver {

std::int32_t TCashierSignOn::RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                             const std::string& Password) {
    std::string password = Password;
    if (password.empty()) {
        for (int i = 0; i < setup_.OpList.Count(); ++i) {
            const auto* op = setup_.OpList.Item<TCashOpProperties>(i);
            if (op && op->N == NOp) {
                password = op->Password;
                break;
            }
        }
    }
    cashierN_ = NOp;
    std::int32_t result = -1;
    try {
        receipt_.CloseFirst();
        const auto reports = [&](const std::string& x, const std::string& z) {
            if (!DoReports) return;
            if (!x.empty()) driver_.Call(&ICashDriverAuto::GetXReport, x);
            if (!z.empty()) driver_.Call(&ICashDriverAuto::GetZReport, z);
        };
        reports(setup_.AutoXReportsBefore, setup_.AutoZReportsBefore);
        result = driver_.Call(&ICashDriverAuto::RegOp, NOp, Name, password);
        if (result != -1 && signedOn_) signedOn_();
        driver_.Call(&ICashDriverAuto::ProgramAfterReg, "BeginMsg");
        reports(setup_.AutoXReportsAfter, setup_.AutoZReportsAfter);
    } catch (const std::exception&) {
    }
    return result;
}

std::int32_t TCashierSignOn::UnregisterCashier() {
    cashierN_ = -1;
    try {
        receipt_.CloseFirst();
        return driver_.Call(&ICashDriverAuto::UnRegOp);
    } catch (const std::exception&) {
        return -1;
    }
}

void TCashierSignOn::SignOnAgain() {
    if (cashierN_ > 0) RegisterCashier(cashierN_, "", false, "");
}

void TCashierSignOn::CloseCheckNow() {
    try {
        receipt_.Close(Currency(), TPayType::Cash);
    } catch (const std::exception&) {
    }
}

}  // namespace tolver
