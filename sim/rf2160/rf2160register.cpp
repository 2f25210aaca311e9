#include "sim/rf2160/rf2160register.h"

#include <cstdio>

#include "platform/variant/utf.h"

namespace tolver {
namespace {

// Journal lines, amounts in units with two decimals, quantities with three:
//   sale art 5 qty 1.000 price 12.00 sum 12.00      payout ... sum -7.50
//   void art 5 qty 1.000 sum -12.00                 text Спасибо за покупку
//   close 3 total 12.00 cash tender 20.00 change 8.00   (without tender: no more)
//   cash-in cash 100.00     cash-out check 5.00     drawer     sign-on 2     sign-off
//   article 5 dep 2 tax 1 price 12.00 sale Хлеб     (or payout)
//   report X daily|cashiers|articles|programming    report Z daily|cashiers|articles
//   report X periodic dates 01.03.05-31.03.05       report X periodic-short numbers 1-25
//   articles cleared        date 09.03.05           time 07:05:03
//   header 1 ООО Ромашка    footer 2                taxes 20.000 ... [levies 1.500 ...]
//   cashier 2 password 1234 name Анна               tax-code ... registration-code ...
//   tax-accumulation on     cutter off

using Answer = TRf2160Answer;
constexpr Answer kDone{};
constexpr Answer kRefused{TRf2160Register::kWrongCommand, 0};
// Beyond what the till holds or counts.
constexpr Answer kTillOverflow{TRf2160Register::kOverflow, 0x04};
// The largest amount the till counts in a receipt, a tender or a cash move
// (21 474 836.47), as the 4-byte amounts of the sale.
constexpr std::int64_t kMaxAmount = 0x7FFFFFFF;

// A big-endian two's-complement field of s.size() (2, 4 or 8) bytes.
std::int64_t BigEndian(std::string_view s) {
    std::uint64_t u = 0;
    for (const char c : s) u = (u << 8) | static_cast<unsigned char>(c);
    if (s.size() < 8 && (u >> (8 * s.size() - 1)) != 0) u |= ~std::uint64_t{0} << (8 * s.size());
    return static_cast<std::int64_t>(u);
}

// Decimal digits only (and at least one); their value in v.
bool Number(std::string_view s, std::int64_t& v) {
    if (s.empty() || s.size() > 18) return false;
    v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

// What the printer takes: no control bytes.
bool Printable(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return TRf2160Register::Printed(s);
}

std::string Fixed(std::int64_t v, int decimals) {
    const std::int64_t scale = decimals == 3 ? 1000 : 100;
    const std::uint64_t a = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%llu.%0*llu", v < 0 ? "-" : "", static_cast<unsigned long long>(a / scale),
                  decimals, static_cast<unsigned long long>(a % scale));
    return buf;
}
std::string Money(std::int64_t hundredths) { return Fixed(hundredths, 2); }
std::string Quantity(std::int64_t thousandths) { return Fixed(thousandths, 3); }

const char* PayTypeName(char c) {
    switch (c) {
        case '6': return "check";
        case '7': return "credit";
        case '8': return "cash";
        default: return nullptr;
    }
}

// ddmmyy; false unless a real day (years 2000..2099).
bool Date(std::string_view s, int& key) {
    std::int64_t d, m, y;
    if (s.size() != 6 || !Number(s.substr(0, 2), d) || !Number(s.substr(2, 2), m) || !Number(s.substr(4, 2), y))
        return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
    if (m == 2 && d == 29 && y % 4 != 0) return false;
    key = static_cast<int>(y * 10000 + m * 100 + d);
    return true;
}

std::string Dotted(std::string_view ddmmyy) {
    return std::string(ddmmyy.substr(0, 2)) + "." + std::string(ddmmyy.substr(2, 2)) + "." +
           std::string(ddmmyy.substr(4, 2));
}

}  // namespace

std::string TRf2160Register::Printed(std::string_view deviceText) {
    std::string out;
    for (const char ch : deviceText) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t c = U'?';
        if (b >= 0x20 && b < 0x7F)
            c = b;
        else if (b >= 0x80 && b <= 0xAF)
            c = U'А' + (b - 0x80);
        else if (b >= 0xE0 && b <= 0xEF)
            c = U'р' + (b - 0xE0);
        else if (b >= 0xF0 && b <= 0xF5)
            c = U"ЁёЄєЇї"[b - 0xF0];
        Utf8Append(out, c);
    }
    return out;
}

TRf2160Answer TRf2160Register::Execute(std::string_view c, std::uint8_t mode) {
    enum Firmware { Any, FirstOnly, NewerOnly };
    struct Command {
        std::string_view code;
        std::uint8_t mode;
        Firmware firmware;
    };
    static constexpr Command kCommands[] = {
        {")", 1, NewerOnly},         {" ", 1, Any},           {"k", 1, Any},           {"@", 1, Any},
        {"0", 1, Any},               {"1", 1, Any},           {"2", 1, Any},           {"90", 1, Any},
        {"91", 1, Any},              {"5", 1, Any},           {"6", 1, Any},           {"PP", 1, Any},
        {"I\xE0X", 2, Any},          {"I\xE6X", 2, Any},      {"I\xE8X", 2, Any},      {"J\xEEX", 2, Any},
        {"J\xEES", 2, Any},          {"SP", 2, NewerOnly},    {"I\xE0Z", 3, Any},      {"I\xE6Z", 3, Any},
        {"I\xE8Z", 3, Any},          {"PG", 4, Any},          {"PF", 4, Any},          {"PH", 4, Any},
        {"PI", 4, Any},              {"PT", 4, FirstOnly},    {"PU", 4, NewerOnly},    {"PC", 4, Any},
        {"PY", 5, Any},              {"PA", 5, Any},          {"PJ", 5, Any},
    };
    const Command* command = nullptr;
    for (const Command& k : kCommands)
        if (c.substr(0, k.code.size()) == k.code) {
            command = &k;
            break;
        }
    if (!command || (command->firmware == FirstOnly && !firstFirmware_) ||
        (command->firmware == NewerOnly && firstFirmware_))
        return kRefused;
    if (mode != command->mode)
        return {kPasswordOrMode, static_cast<std::uint8_t>(1u << (command->mode - 1))};  // switch to that mode first
    const std::string_view code = command->code;
    const auto exactly = [&](std::size_t size, const char* line) {
        if (c.size() != size) return kRefused;
        Book(line);
        return kDone;
    };

    if (code == ")" || code == " ") return Sale(c, code == ")");
    if (code == "k") return c.size() == 1 ? Void() : kRefused;
    if (code == "@") {
        if (c.size() != 25 || !Printable(c.substr(1))) return kRefused;
        const std::string text = Trimmed(c.substr(1));
        Book(text.empty() ? "text" : "text " + text);
        return kDone;
    }
    if (code == "0") return exactly(1, "drawer");
    if (code == "1" || code == "2") return Close(c);
    if (code == "90" || code == "91") return CashMove(c);
    if (code == "5") return SignOn(c);
    if (code == "6") {
        if (c.size() != 1) return kRefused;
        cashier_ = 0;
        Book("sign-off");
        return kDone;
    }
    if (code == "PP") return ProgramArticle(c);
    if (code[0] == 'J') return Periodic(c);
    if (code == "SP") return exactly(2, "report X programming");
    if (code[0] == 'I') {
        if (c.size() != 3) return kRefused;
        const bool z = code[2] == 'Z';
        if (z && open_) return kRefused;  // not while a receipt is open
        const char* kind = code[1] == '\xE0' ? "daily" : code[1] == '\xE6' ? "cashiers" : "articles";
        Book(std::string("report ") + (z ? "Z " : "X ") + kind);
        // The first firmware's daily Z report clears the articles it was programmed with.
        if (z && firstFirmware_ && code[1] == '\xE0' && !articles_.empty()) {
            articles_.clear();
            Book("articles cleared");
        }
        return kDone;
    }
    if (code == "PG") {
        int key;
        if (c.size() != 8 || !Date(c.substr(2), key)) return kRefused;
        Book("date " + Dotted(c.substr(2)));
        return kDone;
    }
    if (code == "PF") {
        std::int64_t h, m, s;
        if (c.size() != 8 || !Number(c.substr(2, 2), h) || !Number(c.substr(4, 2), m) || !Number(c.substr(6, 2), s) ||
            h > 23 || m > 59 || s > 59)
            return kRefused;
        Book("time " + std::string(c.substr(2, 2)) + ":" + std::string(c.substr(4, 2)) + ":" + std::string(c.substr(6, 2)));
        return kDone;
    }
    if (code == "PH" || code == "PI") return ProgramLine(c);
    if (code == "PT") return ProgramRates(c, 8);
    if (code == "PU") return ProgramRates(c, 16);
    if (code == "PC") return ProgramCashier(c);
    if (code == "PY" || code == "PA") {
        if (c.size() != 16 || !Printable(c.substr(2))) return kRefused;
        Book(std::string(code == "PY" ? "tax-code " : "registration-code ") + Trimmed(c.substr(2)));
        return kDone;
    }
    return ProgramSwitch(c);
}

TRf2160Answer TRf2160Register::Sale(std::string_view c, bool priced) {
    if (c.size() != 11) return kRefused;
    const std::int64_t art = BigEndian(c.substr(1, 2));
    if (art < 1) return kRefused;
    if (art > kMaxArticle) return {kArticle, 0x80};  // beyond the article table
    const auto known = articles_.find(static_cast<int>(art));
    std::int64_t qty, price;
    if (priced) {
        qty = BigEndian(c.substr(3, 4));
        price = BigEndian(c.substr(7, 4));
        if (qty <= 0 || price < 0) return kRefused;
    } else {
        qty = BigEndian(c.substr(3, 8));
        if (qty <= 0) return kRefused;
        if (known == articles_.end()) return {kArticle, 0x01};  // no such article
        price = known->second.price;
        if (price == 0) return {kArticle, 0x40};  // no price
    }
    if (qty > 0x7FFFFFFF) return {kOverflow, 0x08};
    const std::int64_t sum = (qty * price + 500) / 1000;
    if (sum > 0x7FFFFFFF) return {kOverflow, 0x08};  // count times price
    const bool payout = known != articles_.end() && known->second.payout;
    std::int64_t total = payout ? -sum : sum;
    for (const Line& l : lines_)
        if (!l.voided) total += l.sum;
    if (total > kMaxAmount || total < -kMaxAmount) return kTillOverflow;
    lines_.push_back({static_cast<int>(art), qty, payout ? -sum : sum, false});
    open_ = true;
    Book(std::string(payout ? "payout" : "sale") + " art " + std::to_string(art) + " qty " + Quantity(qty) +
         " price " + Money(price) + " sum " + Money(payout ? -sum : sum));
    return kDone;
}

TRf2160Answer TRf2160Register::Void() {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->voided) continue;
        it->voided = true;
        Book("void art " + std::to_string(it->art) + " qty " + Quantity(it->qty) + " sum " + Money(-it->sum));
        return kDone;
    }
    return kRefused;  // nothing to void
}

TRf2160Answer TRf2160Register::Close(std::string_view c) {
    const bool tendered = c[0] == '2';
    if (c.size() != (tendered ? 10u : 2u)) return kRefused;
    const char* pay = PayTypeName(c[1]);
    if (!pay || !open_) return kRefused;
    std::int64_t total = 0;
    for (const Line& l : lines_)
        if (!l.voided) total += l.sum;
    std::string line = "close " + std::to_string(receipts_ + 1) + " total " + Money(total) + " " + pay;
    if (tendered) {
        const std::int64_t tender = BigEndian(c.substr(2, 8));
        if (tender > kMaxAmount) return kTillOverflow;
        if (tender <= 0 || tender < total) return kRefused;  // not enough tendered
        std::int64_t change;
        if (__builtin_sub_overflow(tender, total, &change)) return kTillOverflow;
        line += " tender " + Money(tender) + " change " + Money(change);
    }
    std::int64_t drawer = drawer_;
    if (c[1] == '8' && __builtin_add_overflow(drawer_, total, &drawer)) return kTillOverflow;
    drawer_ = drawer;
    lines_.clear();
    open_ = false;
    ++receipts_;
    Book(line);
    return kDone;
}

TRf2160Answer TRf2160Register::CashMove(std::string_view c) {
    if (c.size() != 11) return kRefused;
    const char* pay = PayTypeName(c[2]);
    const std::int64_t sum = BigEndian(c.substr(3, 8));
    if (!pay || sum <= 0) return kRefused;
    if (sum > kMaxAmount) return kTillOverflow;
    const bool in = c[1] == '1';
    if (c[2] == '8') {
        if (!in && sum > drawer_) return kTillOverflow;  // more than the drawer holds
        std::int64_t drawer;
        if (__builtin_add_overflow(drawer_, in ? sum : -sum, &drawer)) return kTillOverflow;
        drawer_ = drawer;
    }
    Book(std::string(in ? "cash-in " : "cash-out ") + pay + " " + Money(sum));
    return kDone;
}

TRf2160Answer TRf2160Register::SignOn(std::string_view c) {
    std::int64_t n, password;
    if (c.size() != 11 || !Number(c.substr(1, 2), n) || !Number(c.substr(3, 8), password) || n < 1 || n > kMaxCashier)
        return kRefused;
    const auto known = passwords_.find(static_cast<int>(n));
    if (known != passwords_.end() && known->second != password) return {kPasswordOrMode, 0x80};  // wrong password
    cashier_ = static_cast<int>(n);
    Book("sign-on " + std::to_string(n));
    return kDone;
}

TRf2160Answer TRf2160Register::ProgramArticle(std::string_view c) {
    if (c.size() != 44) return kRefused;
    const std::int64_t art = BigEndian(c.substr(2, 2));
    const int tax = static_cast<unsigned char>(c[4]);
    const auto flags = static_cast<unsigned char>(c[5]);
    const auto dep = static_cast<unsigned char>(c[7]);
    const std::string_view name = c.substr(12, 24);
    const std::int64_t price = BigEndian(c.substr(36, 4));
    if (art < 1) return kRefused;
    if (art > kMaxArticle) return {kArticle, 0x80};
    if (BigEndian(c.substr(8, 4)) != art || tax < 1 || tax > 8 || (flags != 0 && flags != 0x80) || c[6] != 0 ||
        (dep & 0x0F) != 0 || !Printable(name) || price < 0 || BigEndian(c.substr(40, 4)) < 0)
        return kRefused;
    Article a;
    a.dep = dep >> 4 ? dep >> 4 : 16;
    a.tax = tax;
    a.price = price;
    a.name = Trimmed(name);
    a.payout = flags == 0x80;
    Book("article " + std::to_string(art) + " dep " + std::to_string(a.dep) + " tax " + std::to_string(tax) + " price " +
         Money(price) + (a.payout ? " payout " : " sale ") + a.name);
    articles_[static_cast<int>(art)] = std::move(a);
    return kDone;
}

TRf2160Answer TRf2160Register::Periodic(std::string_view c) {
    if (c.size() != 15) return kRefused;
    const std::string_view from = c.substr(3, 6), to = c.substr(9, 6);
    std::string what = std::string("report X ") + (c[2] == 'S' ? "periodic-short " : "periodic ");
    // A day is never 00: six digits starting with 00 are a fiscal-memory number.
    if (from.substr(0, 2) == "00" && to.substr(0, 2) == "00") {
        std::int64_t a, b;
        if (!Number(from, a) || !Number(to, b) || a > b) return kRefused;
        what += "numbers " + std::to_string(a) + "-" + std::to_string(b);
    } else {
        int a, b;
        if (!Date(from, a) || !Date(to, b) || a > b) return kRefused;
        what += "dates " + Dotted(from) + "-" + Dotted(to);
    }
    Book(what);
    return kDone;
}

TRf2160Answer TRf2160Register::ProgramLine(std::string_view c) {
    if (c.size() != 38 || c[2] < '1' || c[2] > '0' + kLines || !Printable(c.substr(3))) return kRefused;
    const std::string text = Trimmed(c.substr(3));
    Book(std::string(c[1] == 'H' ? "header " : "footer ") + c[2] + (text.empty() ? "" : " " + text));
    return kDone;
}

TRf2160Answer TRf2160Register::ProgramRates(std::string_view c, int fields) {
    if (c.size() != 2 + 5 * static_cast<std::size_t>(fields)) return kRefused;
    std::string line = "taxes";
    for (int i = 0; i < fields; ++i) {
        std::string_view f = c.substr(2 + 5 * static_cast<std::size_t>(i), 5);
        while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
        std::int64_t v;
        if (!Number(f, v)) return kRefused;
        if (i == 8) line += " levies";
        line += ' ';
        line += Quantity(v);
    }
    Book(line);
    return kDone;
}

TRf2160Answer TRf2160Register::ProgramCashier(std::string_view c) {
    std::int64_t n, password;
    if (c.size() != 36 || !Number(c.substr(2, 2), n) || !Number(c.substr(4, 8), password) || n < 1 ||
        n > kMaxCashier || !Printable(c.substr(12)))
        return kRefused;
    passwords_[static_cast<int>(n)] = password;
    Book("cashier " + std::to_string(n) + " password " + std::to_string(password) + " name " + Trimmed(c.substr(12)));
    return kDone;
}

TRf2160Answer TRf2160Register::ProgramSwitch(std::string_view c) {
    if (c.size() != 6 || (c[4] != '0' || (c[5] != '0' && c[5] != '1'))) return kRefused;
    const char* what = c.substr(2, 2) == "05" ? "tax-accumulation " : c.substr(2, 2) == "04" ? "cutter " : nullptr;
    if (!what) return kRefused;
    Book(std::string(what) + (c[5] == '1' ? "on" : "off"));
    return kDone;
}

}  // namespace tolver
