#pragma once
// The lines of the open receipt that a driver has queued, kept as the register will
// hold them once their outcomes are known: a sale the register refuses leaves the
// receipt, a void takes the line it names away until the register refuses the void,
// and a close takes the receipt's lines with it — for good when the register accepts
// it, back into the open receipt when it refuses. A driver asks it which line a void
// of the register's last line would take and whether a tender covers the total, so
// that it refuses what the register would book otherwise than the client asked.
// Amounts are in the driver's own register units. Runs on the host's main thread.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tolver {

class TReceiptTally {
public:
    struct Line {
        std::int32_t id = 0;       // the sale's command id
        std::int32_t article = 0;  // 0 for a department line
        std::int64_t price = 0;    // the unit price sent or keyed
        // What the line adds to the total (negative for a payout or a void); none
        // when the register sells at its own price.
        std::optional<std::int64_t> amount;
    };

    // A sale, payout or department void was queued with this line (id above 0).
    void Add(const Line& line);
    // The receipt's last line still standing, which a void of the last line takes;
    // null when there is none.
    const Line* Last() const;
    // A void of the last line was queued with command id.
    void VoidLast(std::int32_t id);
    // The open receipt's total; none when a line's amount is not known.
    std::optional<std::int64_t> Total() const;
    // A close was queued with command id: the receipt's lines go with it.
    void Close(std::int32_t id);
    // A command's outcome: 0 done, anything else refused or lost.
    void Result(std::int32_t id, std::int32_t result);

private:
    struct Entry {
        Line line;
        std::int32_t voidId = 0;  // the void queued for it, 0 for none
    };
    struct Closing {
        std::int32_t id;
        std::vector<Entry> lines;
    };

    std::vector<Entry> open_;
    std::vector<Closing> closing_;
};

}  // namespace tolver
