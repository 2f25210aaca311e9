#include "spooler/openreceipt.h"

#include <algorithm>

namespace tolver {

void TOpenReceipt::NewReceipt() {
    owner_ = caller_;
    abandoned_ = false;
}

void TOpenReceipt::Closed() {
    open_ = openAfterClose_ = false;
    closes_.clear();
    owner_.clear();
    abandoned_ = false;
}

void TOpenReceipt::OwnerLeft(const std::string& client) {
    if (Unclosed() && owner_ == client) abandoned_ = true;
}

void TOpenReceipt::Opened() {
    if (!open_) {
        open_ = true;
        NewReceipt();
    } else if (!closes_.empty() && !openAfterClose_) {
        openAfterClose_ = true;
        NewReceipt();
    }
}

std::int32_t TOpenReceipt::Close(Currency Sum, TPayType PayType) {
    const std::int32_t id = driver_.Call(&ICashDriverAuto::CloseCheck, Sum, PayType);
    if (id == 0) {
        Closed();  // done at once: nothing left to wait for
    } else if (id > 0 && open_) {
        closes_.push_back(id);
        openAfterClose_ = false;
    }
    return id;
}

void TOpenReceipt::CloseFirst() {
    if (Unclosed()) Close(Currency(), TPayType::Cash);
}

void TOpenReceipt::CommandCompleted(std::int32_t CommandID, std::int32_t CommandResult) {
    const auto it = std::find(closes_.begin(), closes_.end(), CommandID);
    if (it == closes_.end()) return;
    if (CommandResult == 0) {
        closes_.erase(closes_.begin(), it + 1);  // the register closed what came before it too
        if (closes_.empty()) {
            if (openAfterClose_) {
                // The receipt opened behind the close stays, with its owner.
                openAfterClose_ = false;
            } else {
                Closed();
            }
        }
    } else {
        // Refused: the receipt stays open, with whatever was sold behind the close.
        closes_.erase(it);
        if (closes_.empty()) openAfterClose_ = false;
    }
}

}  // namespace tolver
