#include "drivers/contract/receipttally.h"

#include <algorithm>

namespace tolver {

void TReceiptTally::Add(const Line& line) {
    if (line.id > 0) open_.push_back({line, 0});
}

const TReceiptTally::Line* TReceiptTally::Last() const {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
        if (it->voidId == 0) return &it->line;
    return nullptr;
}

void TReceiptTally::VoidLast(std::int32_t id) {
    if (id <= 0) return;
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
        if (it->voidId == 0) {
            it->voidId = id;
            return;
        }
}

std::optional<std::int64_t> TReceiptTally::Total() const {
    std::int64_t total = 0;
    for (const Entry& e : open_) {
        if (e.voidId != 0) continue;
        if (!e.line.amount) return std::nullopt;
        total += *e.line.amount;
    }
    return total;
}

void TReceiptTally::Close(std::int32_t id) {
    if (id <= 0) return;
    closing_.push_back({id, std::move(open_)});
    open_.clear();
}

void TReceiptTally::Result(std::int32_t id, std::int32_t result) {
    if (id <= 0) return;
    const bool done = result == 0;
    for (auto it = closing_.begin(); it != closing_.end(); ++it) {
        if (it->id != id) continue;
        // A refused close leaves its lines on the receipt, before those sold since.
        if (!done) open_.insert(open_.begin(), it->lines.begin(), it->lines.end());
        closing_.erase(it);
        return;
    }
    const auto settle = [&](std::vector<Entry>& lines) {
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->line.id == id) {
                if (!done) lines.erase(it);  // never booked
                return true;
            }
            if (it->voidId == id) {
                if (done)
                    lines.erase(it);
                else
                    it->voidId = 0;  // the line stands again
                return true;
            }
        }
        return false;
    };
    if (settle(open_)) return;
    for (Closing& c : closing_)
        if (settle(c.lines)) return;
}

}  // namespace tolver
