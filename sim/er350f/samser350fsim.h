#pragma once
// The Samsung ER-350F STU as its key-stroke protocol shows it: key-position
// answers to 0x02, echoes (code + 0x80) for the keys that have one, the
// identification answer to 0x08, error bytes until 0x07 acknowledges them, and a
// print copy in the register's character set for what its keys print (sale lines,
// receipts ending with the "ЧЕК ***" block and the next receipt's header, text
// lines, cash in and out, reports). A cash or cheque tender below the total is part
// of a split payment: it prints with the balance ("ОСТАТОК") and the receipt stays
// open until a later payment covers the rest. Faults are injected by script.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/er350f/samser350fpanel.h"
#include "sim/simdevice.h"

namespace tolver {

struct TSamsER350FFault {
    enum class Trigger { Key, Query, Time };
    enum class Action { DropEcho, DelayEcho, Error, Garbage, Silent };
    Trigger trigger = Trigger::Key;
    std::int64_t at = 0;  // the key or query number (from 1), or a time in ms
    Action action = Action::DropEcho;
    std::int64_t ms = 0;     // delay-echo, silent
    std::uint8_t error = 0;  // error byte 0xE0..0xE9
    std::string bytes;       // garbage
};

// A fault script: faults separated by ";" or new lines, each
//   key N drop-echo | key N delay-echo MS | key N error EX | key N garbage HH [HH ...]
//   key N silent MS | query N error EX | query N garbage HH.. | query N silent MS
//   at MS error EX | at MS garbage HH.. | at MS silent MS
// (EX an error byte the register has: E0, E1, E3..E9; HH hexadecimal bytes). Raises Exception naming the
// faulty item.
std::vector<TSamsER350FFault> ParseSamsER350FFaults(std::string_view script);

class TSamsER350FSim : public TSimDevice {
public:
    TSamsER350FSim();

    // The position of the mode key (1 P, 2 X, 3 Z, 4 П, 5 МС), as the operator set it.
    void SetKeyPos(std::uint8_t pos) { keyPos_ = pos; }
    std::uint8_t KeyPos() const { return keyPos_; }
    // The identification (ASCII); the register sends it last character first.
    void SetId(std::string id) { id_ = std::move(id); }
    // The receipt header printed after each receipt for the next one (UTF-8 lines).
    void SetHeader(std::vector<std::string> lines) { header_ = std::move(lines); }
    // Whether the print copy goes to the PC (it is kept in Tape() either way).
    void SetPrintCopy(bool on) { printCopy_ = on; }
    // Whether a receipt ends with the "ЧЕК ***" block and the next header.
    void SetReceiptHeader(bool on) { receiptHeader_ = on; }
    // Delays of the echo after a key, and of a print copy after the key's echo.
    void SetEchoDelay(int ms) { echoDelay_ = ms; }
    void SetPrintDelay(int ms) { printDelay_ = ms; }

    void AddFault(const TSamsER350FFault& fault) { faults_.push_back({fault, false}); }
    void AddFaults(const std::vector<TSamsER350FFault>& faults) {
        for (const auto& f : faults) AddFault(f);
    }
    // Drops the faults that have not fired yet.
    void ClearFaults() { faults_.clear(); }

    // Prints lines at time `at` as the register's own printer would.
    void Print(const std::vector<std::string>& lines, std::int64_t at);

    std::uint8_t PendingError() const { return pendingError_; }
    int KeysReceived() const { return keys_; }
    int QueriesReceived() const { return queries_; }
    int Acknowledgements() const { return acks_; }
    bool ReceiptOpen() const { return receiptOpen_; }
    int ReceiptNumber() const { return receiptNo_; }
    // Every line printed, UTF-8.
    const std::vector<std::string>& Tape() const { return tape_; }
    // The bytes received as keys, in order (queries, identification requests and
    // acknowledgements left out; 0x07 is key 7 unless an error waits).
    const std::string& Keys() const { return keysLog_; }

protected:
    void OnReceive(std::uint8_t byte, std::int64_t now) override;
    void OnTime(std::int64_t now) override;

private:
    struct Armed {
        TSamsER350FFault fault;
        bool fired;
    };
    // Applies the faults of one trigger; false when the byte is not to be answered.
    bool ApplyFaults(TSamsER350FFault::Trigger trigger, std::int64_t number, std::int64_t now);
    void Fire(const TSamsER350FFault& f, std::int64_t now);
    void Query(std::int64_t now);
    void Key(std::uint8_t key, std::int64_t now);
    void Process(std::uint8_t key, std::int64_t printAt);
    void Sale(int dep, std::int64_t printAt);
    void Pay(er350f::Key key, std::int64_t printAt);
    void Report(er350f::Key key, std::int64_t printAt);
    // Sells the chosen article at price, times the count keyed before it, and prints
    // it at time at.
    void SellArticle(std::int64_t price, std::int64_t at);
    std::int64_t TakeCount(std::int64_t price, std::vector<std::string>& lines);
    // Adds an amount to the receipt, opening it when none is open.
    void Register(std::int64_t amount);
    std::int64_t TakeEntry();

    std::uint8_t keyPos_ = 1;
    std::string id_ = "ER350F0001";
    std::vector<std::string> header_;
    bool printCopy_ = true;
    bool receiptHeader_ = true;
    int echoDelay_ = 0;
    int printDelay_ = 5;

    std::vector<Armed> faults_;
    bool dropNextEcho_ = false;
    std::int64_t nextEchoDelay_ = 0;
    std::uint8_t pendingError_ = 0;
    int keys_ = 0;
    int queries_ = 0;
    int acks_ = 0;
    std::string keysLog_;

    // The register's keyboard state.
    std::string entry_;  // digits (and a point) keyed since the last function key
    std::string count_;  // the count before 86
    bool voidNext_ = false;
    bool payoutNext_ = false;
    bool textMode_ = false;
    bool textReady_ = false;
    std::string textLine_;  // UTF-8
    std::int64_t article_ = -1;  // article chosen by its first article key
    bool receiptOpen_ = false;
    int receiptNo_ = 0;
    std::int64_t total_ = 0;  // hundredths
    std::vector<std::string> tape_;
};

}  // namespace tolver
