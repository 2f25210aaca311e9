#pragma once
// The one open receipt at the register, shared by every client of the spooler: whether
// it is open, which client opened it, and whether that client left the bus with it
// open. A receipt opens with a sale that the driver queued and closes when the
// register accepts its close (the close's result 0): until then it stays open for
// everyone, and a refused close leaves it open. A sale queued behind a close that is
// still on its way opens the next receipt. A receipt whose owner left it open is
// abandoned: nobody else's sale may join it until it is closed.

#include <cstdint>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "spooler/cashdriverauto.h"

namespace tolver {

class TOpenReceipt {
public:
    explicit TOpenReceipt(TCashDriverAutoClient& driver) : driver_(driver) {}

    // A receipt is open at the register (also while its close is on its way).
    bool Open() const { return open_; }
    // A receipt is open and no close has been sent for it.
    bool Unclosed() const { return open_ && (closes_.empty() || openAfterClose_); }
    // The client whose call runs now (empty for the spooler's own work): a receipt that
    // a sale opens is that client's.
    void SetCaller(std::string caller) { caller_ = std::move(caller); }
    const std::string& Owner() const { return owner_; }
    // The unclosed receipt's owner left the bus with it open.
    bool Abandoned() const { return abandoned_ && Unclosed(); }
    // A client left the bus: its unclosed receipt is abandoned.
    void OwnerLeft(const std::string& client);

    // A sale that opens or joins a receipt was queued.
    void Opened();
    // The driver's CloseCheck, whose result 0 will close the receipt; a driver failure
    // arrives as an exception and changes nothing.
    std::int32_t Close(Currency Sum, TPayType PayType);
    // Closes an unclosed receipt in cash, as the members that do their own work first.
    void CloseFirst();
    // A command's outcome as the driver reported it.
    void CommandCompleted(std::int32_t CommandID, std::int32_t CommandResult);

private:
    void NewReceipt();
    void Closed();

    TCashDriverAutoClient& driver_;
    bool open_ = false;
    std::vector<std::int32_t> closes_;  // closes on their way, in order
    bool openAfterClose_ = false;       // a sale queued behind the last of them
    std::string caller_, owner_;
    bool abandoned_ = false;
};

}  // namespace tolver
