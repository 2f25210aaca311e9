#pragma once
// What the fiscal register "РФ 2160" does with a command it has taken from a good
// frame, written from the register's side: it reads the command as the register
// does (its code, the mode it is carried out in, every field), carries it out on its
// books and answers with the error class and detail of the status that follows. A
// command it cannot read is refused with "wrong command or format" (0x04) and changes
// nothing. What it booked goes into a journal, one UTF-8 line a booking.
//
// Commands (bytes; letters of the report codes are the Windows-1251 bytes shown;
// numbers in <> are big-endian binary fields of that many bytes; texts are in the
// register's code page and may hold no control bytes):
//   mode 1 РАБОТА   ")" art<2> qty<4> price<4>     sale at a price (not on 26.10.0)
//                   " " art<2> qty<8>              sale at the programmed price
//                   "k"                            void the last sale line
//                   "@" text(24)                   print a line of text
//                   "0"                            open the cash drawer
//                   "1" P / "2" P tender<8>        close the receipt, pay type P:
//                                                  "6" check, "7" credit, "8" cash
//                   "91" P sum<8> / "90" P sum<8>  cash in / cash out
//                   "5" NN PPPPPPPP / "6"          cashier NN signs on / off
//                   "PP" art<2> tax flags 0 dep*16 art<4> name(24) price<4> stock<4>
//                                                  program an article (flags 0x80:
//                                                  a payout article)
//   mode 2 X        "IаX" "IжX" "IиX"              X report: daily, cashiers, articles
//                   "JоX"/"JоS" ddmmyy ddmmyy      periodic report by dates (full/short)
//                   "JоX"/"JоS" 00NNNN 00NNNN      ... by fiscal-memory numbers
//                   "SP"                           programming report (not on 26.10.0)
//   mode 3 Z        "IаZ" "IжZ" "IиZ"              Z report: daily, cashiers, articles
//   mode 4 ПРОГРАММИРОВАНИЕ
//                   "PG" ddmmyy / "PF" hhmmss      date / time
//                   "PH" N text(35) / "PI" ...     header / footer line N (1..5)
//                   "PT" 8 rates(5)                tax rates (26.10.0 only)
//                   "PU" 8 rates(5) 8 levies(5)    tax rates and levies (newer only)
//                   "PC" NN PPPPPPPP name(24)      cashier NN's password and name
//   mode 5 АДМИНИСТРАТОР
//                   "PY" code(14) / "PA" code(14)  taxpayer / registration code
//                   "PJ05" "00"|"01"               tax accumulation off / on
//                   "PJ04" "00"|"01"               automatic cutter off / on
// A rate field is the rate times 1000, right-aligned with leading blanks. A sale of a
// payout article books a payout. A receipt's total, a tender and a cash move stay
// within 21 474 836.47: beyond it the till overflows (0x01/0x04) and nothing is booked;
// a tender below the total is refused.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tolver {

// The error class and detail flags of the status that answers a command.
struct TRf2160Answer {
    std::uint8_t error = 0;
    std::uint8_t detail = 0;
    bool operator==(const TRf2160Answer&) const = default;
};

class TRf2160Register {
public:
    // Error classes and the details used here.
    static constexpr std::uint8_t kOverflow = 0x01;       // detail 0x04 the till, 0x08 count × price
    static constexpr std::uint8_t kWrongCommand = 0x04;
    static constexpr std::uint8_t kArticle = 0x10;        // detail 0x01 unknown, 0x40 no price, 0x80 beyond the table
    static constexpr std::uint8_t kPasswordOrMode = 0x20; // detail: the mode to switch to, or 0x80 password
    static constexpr int kMaxArticle = 8000;
    static constexpr int kMaxCashier = 15;
    static constexpr int kLines = 5;

    struct Article {
        int dep = 0;
        int tax = 0;
        std::int64_t price = 0;  // hundredths
        std::string name;        // UTF-8, trailing blanks cut
        bool payout = false;
    };

    // The first firmware, "26.10.0": no priced sale, no programming report, tax rates
    // without levies, and its daily Z report clears the articles.
    void SetFirstFirmware(bool on) { firstFirmware_ = on; }
    // Carries out one command in the given mode.
    TRf2160Answer Execute(std::string_view command, std::uint8_t mode);

    // Every booking in order, one line each (see the journal lines in the .cpp).
    const std::vector<std::string>& Journal() const { return journal_; }
    // Cash in the drawer, hundredths: cash receipts and cash moved in and out.
    std::int64_t DrawerCash() const { return drawer_; }
    bool ReceiptOpen() const { return open_; }
    // Receipts closed since the start.
    int ReceiptsClosed() const { return receipts_; }
    int Cashier() const { return cashier_; }
    const std::map<int, Article>& Articles() const { return articles_; }
    // What an earlier programming left in the register.
    void SetArticle(int n, Article a) { articles_[n] = std::move(a); }

    // The register's letters as UTF-8 (code page 866 for the Russian letters, Ё ё Є є
    // Ї ї; what it cannot print comes out as "?").
    static std::string Printed(std::string_view deviceText);

private:
    struct Line {
        int art;
        std::int64_t qty;  // thousandths
        std::int64_t sum;  // hundredths, negative for a payout
        bool voided;
    };

    TRf2160Answer Sale(std::string_view c, bool priced);
    TRf2160Answer Void();
    TRf2160Answer Close(std::string_view c);
    TRf2160Answer CashMove(std::string_view c);
    TRf2160Answer SignOn(std::string_view c);
    TRf2160Answer ProgramArticle(std::string_view c);
    TRf2160Answer Periodic(std::string_view c);
    TRf2160Answer ProgramLine(std::string_view c);
    TRf2160Answer ProgramRates(std::string_view c, int fields);
    TRf2160Answer ProgramCashier(std::string_view c);
    TRf2160Answer ProgramSwitch(std::string_view c);
    void Book(std::string line) { journal_.push_back(std::move(line)); }

    bool firstFirmware_ = false;
    std::map<int, Article> articles_;
    std::map<int, std::int64_t> passwords_;  // programmed cashiers
    std::vector<Line> lines_;                // of the open receipt
    bool open_ = false;
    int receipts_ = 0;
    int cashier_ = 0;
    std::int64_t drawer_ = 0;
    std::vector<std::string> journal_;
};

}  // namespace tolver
