#include "spooler/cashiersignon.h"

#include <algorithm>
#include <exception>

namespace tolver {

void TCashierSignOn::ReceiptOpened() {
    if (!open_) {
        open_ = true;
        ++number_;
    } else if (!closes_.empty() && !openAfterClose_) {
        openAfterClose_ = true;
        ++number_;
    }
}

std::int32_t TCashierSignOn::CloseReceipt(Currency Sum, TPayType PayType) {
    const std::int32_t id = driver_.Call(&ICashDriverAuto::CloseCheck, Sum, PayType);
    if (id == 0) {
        // Done at once: nothing left to wait for.
        open_ = openAfterClose_ = false;
        closes_.clear();
    } else if (id > 0 && open_) {
        closes_.push_back(id);
        openAfterClose_ = false;
    }
    return id;
}

void TCashierSignOn::CommandCompleted(std::int32_t CommandID, std::int32_t CommandResult) {
    const auto it = std::find(closes_.begin(), closes_.end(), CommandID);
    if (it == closes_.end()) return;
    if (CommandResult == 0) {
        closes_.erase(closes_.begin(), it + 1);  // the register closed what came before it too
        if (closes_.empty()) {
            open_ = openAfterClose_;
            openAfterClose_ = false;
        }
    } else {
        // Refused: the receipt stays open, with whatever was sold behind the close.
        closes_.erase(it);
        if (closes_.empty()) openAfterClose_ = false;
    }
}

void TCashierSignOn::CloseOpenCheck() {
    if (ReceiptUnclosed()) CloseReceipt(Currency(), TPayType::Cash);
}

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
        CloseOpenCheck();
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
        CloseOpenCheck();
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
        CloseReceipt(Currency(), TPayType::Cash);
    } catch (const std::exception&) {
    }
}

}  // namespace tolver
