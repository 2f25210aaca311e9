#include "sim/er350f/samser350fsim.h"

#include <cstdio>
#include <limits>

#include "common/utilgl.h"
#include "platform/base/exception.h"
#include "platform/variant/utf.h"
#include "sim/er350f/samser350fpanel.h"

namespace tolver {
namespace {

using namespace er350f;

constexpr const char* kReceiptMark = "ЧЕК ***";
constexpr std::size_t kEntryLimit = 20;  // the register's display holds no more digits
constexpr int kLineWidth = 26;
constexpr int kReportLines = 40;
constexpr std::int64_t kProgrammedPrice = 100;  // hundredths

std::string Money(std::int64_t hundredths) {
    char buf[32];
    const std::int64_t a = hundredths < 0 ? -hundredths : hundredths;
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", hundredths < 0 ? "-" : "", static_cast<long long>(a / 100),
                  static_cast<long long>(a % 100));
    return buf;
}

// left, then right aligned to the line width.
std::string Columns(const std::string& left, const std::string& right) {
    const int pad = kLineWidth - static_cast<int>(Utf8Length(left) + Utf8Length(right));
    return left + std::string(pad > 1 ? static_cast<std::size_t>(pad) : 1, ' ') + right;
}

// The largest sum the simulated register keeps; beyond it sums saturate.
constexpr std::int64_t kMaxAmount = std::numeric_limits<std::int64_t>::max() / 2;

std::int64_t ParseDigits(const std::string& s) {
    std::int64_t v = 0;
    for (const char c : s)
        if (c >= '0' && c <= '9' && v < 100000000000LL) v = v * 10 + (c - '0');
    return v;
}

// A count as keyed ("2", "1.500") in thousandths.
std::int64_t ParseCount(const std::string& s) {
    if (s.empty()) return 1000;
    const std::size_t point = s.find('.');
    std::string frac = point == std::string::npos ? "" : s.substr(point + 1);
    frac = (frac + "000").substr(0, 3);
    return ParseDigits(s.substr(0, point)) * 1000 + ParseDigits(frac);
}

int ParseInt(const std::string& word, const std::string& item) {
    try {
        std::size_t used = 0;
        const long v = std::stol(word, &used, 10);
        if (used == word.size() && v >= 0 && v <= 100000000) return static_cast<int>(v);
    } catch (const std::exception&) {
    }
    throw Exception("fault script: bad number \"" + word + "\" in \"" + item + "\"");
}

std::uint8_t ParseError(const std::string& word, const std::string& item) {
    if (word.size() == 2 && (word[0] == 'E' || word[0] == 'e') && word[1] >= '0' && word[1] <= '9' &&
        IsRegisterError(0xE0 + (word[1] - '0')))
        return static_cast<std::uint8_t>(0xE0 + (word[1] - '0'));
    throw Exception("fault script: bad error byte \"" + word + "\" in \"" + item + "\"");
}

std::uint8_t ParseHexByte(const std::string& word, const std::string& item) {
    try {
        std::size_t used = 0;
        const long v = std::stol(word, &used, 16);
        if (used == word.size() && word.size() <= 2 && v >= 0 && v <= 255) return static_cast<std::uint8_t>(v);
    } catch (const std::exception&) {
    }
    throw Exception("fault script: bad byte \"" + word + "\" in \"" + item + "\"");
}

}  // namespace

std::vector<TSamsER350FFault> ParseSamsER350FFaults(std::string_view script) {
    std::vector<TSamsER350FFault> faults;
    std::string rest(script), item;
    for (;;) {
        CutFirstToken(rest, ";\n\r", item);
        if (item.empty()) break;
        std::vector<std::string> words;
        std::string line = item, word;
        for (;;) {
            CutFirstToken(line, " \t", word);
            if (word.empty()) break;
            words.push_back(word);
        }
        if (words.empty()) continue;
        if (words.size() < 3) throw Exception("fault script: incomplete \"" + item + "\"");
        TSamsER350FFault f;
        using T = TSamsER350FFault::Trigger;
        using A = TSamsER350FFault::Action;
        if (words[0] == "key")
            f.trigger = T::Key;
        else if (words[0] == "query")
            f.trigger = T::Query;
        else if (words[0] == "at")
            f.trigger = T::Time;
        else
            throw Exception("fault script: unknown trigger \"" + words[0] + "\" in \"" + item + "\"");
        f.at = ParseInt(words[1], item);
        const std::string& action = words[2];
        const auto need = [&](std::size_t n) {
            if (words.size() != n) throw Exception("fault script: wrong number of arguments in \"" + item + "\"");
        };
        if (action == "drop-echo" && f.trigger == T::Key) {
            need(3);
            f.action = A::DropEcho;
        } else if (action == "delay-echo" && f.trigger == T::Key) {
            need(4);
            f.action = A::DelayEcho;
            f.ms = ParseInt(words[3], item);
        } else if (action == "error") {
            need(4);
            f.action = A::Error;
            f.error = ParseError(words[3], item);
        } else if (action == "garbage") {
            if (words.size() < 4) throw Exception("fault script: no bytes in \"" + item + "\"");
            f.action = A::Garbage;
            for (std::size_t i = 3; i < words.size(); ++i) f.bytes += static_cast<char>(ParseHexByte(words[i], item));
        } else if (action == "silent") {
            need(4);
            f.action = A::Silent;
            f.ms = ParseInt(words[3], item);
        } else {
            throw Exception("fault script: unknown action \"" + action + "\" in \"" + item + "\"");
        }
        faults.push_back(f);
    }
    return faults;
}

TSamsER350FSim::TSamsER350FSim() {
    header_ = {"МАГАЗИН \"ТЕСТ\"", "УЛ. САДОВАЯ, 1", "ТЕЛ. 123-45-67", "КАССА N1", "ДОБРО ПОЖАЛОВАТЬ"};
}

void TSamsER350FSim::Print(const std::vector<std::string>& lines, std::int64_t at) {
    std::string bytes;
    for (const std::string& line : lines) {
        tape_.push_back(line);
        for (std::size_t pos = 0; pos < line.size();) bytes += static_cast<char>(er350f::ByteOf(Utf8Next(line, pos)));
        bytes += '\n';
    }
    if (printCopy_) Schedule(bytes, at);
}

void TSamsER350FSim::Fire(const TSamsER350FFault& f, std::int64_t now) {
    using A = TSamsER350FFault::Action;
    switch (f.action) {
        case A::DropEcho: dropNextEcho_ = true; break;
        case A::DelayEcho: nextEchoDelay_ = f.ms; break;
        case A::Error:
            pendingError_ = f.error;
            Schedule(std::string(1, static_cast<char>(f.error)), now);
            break;
        case A::Garbage: Schedule(f.bytes, now); break;
        case A::Silent: SetSilentUntil(now + f.ms); break;
    }
}

bool TSamsER350FSim::ApplyFaults(TSamsER350FFault::Trigger trigger, std::int64_t number, std::int64_t now) {
    using A = TSamsER350FFault::Action;
    bool answer = true;
    for (Armed& a : faults_) {
        if (a.fired || a.fault.trigger != trigger || a.fault.at != number) continue;
        a.fired = true;
        Fire(a.fault, now);
        // An error takes the place of the answer; silence starts with this byte.
        if (a.fault.action == A::Error || a.fault.action == A::Silent) answer = false;
    }
    return answer;
}

void TSamsER350FSim::OnTime(std::int64_t now) {
    for (Armed& a : faults_) {
        if (a.fired || a.fault.trigger != TSamsER350FFault::Trigger::Time || a.fault.at > now) continue;
        a.fired = true;
        Fire(a.fault, a.fault.at);
    }
}

void TSamsER350FSim::OnReceive(std::uint8_t byte, std::int64_t now) {
    switch (byte) {
        case er350f::kQuery: Query(now); return;
        case er350f::kAcknowledge:
            // The same byte is key 7 unless an error waits for its acknowledgement.
            if (!pendingError_) break;
            ++acks_;
            pendingError_ = 0;
            return;
        case er350f::kIdentify: {
            std::string answer(id_.rbegin(), id_.rend());
            Schedule(answer, now);
            return;
        }
        default: break;
    }
    Key(byte, now);
}

void TSamsER350FSim::Query(std::int64_t now) {
    ++queries_;
    if (!ApplyFaults(TSamsER350FFault::Trigger::Query, queries_, now)) return;
    const std::uint8_t answer = pendingError_ ? pendingError_ : keyPos_ >= 1 && keyPos_ <= 5 ? er350f::kModes[keyPos_ - 1].answer : 0;
    Schedule(std::string(1, static_cast<char>(answer)), now);
}

void TSamsER350FSim::Key(std::uint8_t key, std::int64_t now) {
    ++keys_;
    keysLog_ += static_cast<char>(key);
    if (!ApplyFaults(TSamsER350FFault::Trigger::Key, keys_, now)) return;
    if (pendingError_) {
        // Until it is acknowledged the register answers everything with its error.
        Schedule(std::string(1, static_cast<char>(pendingError_)), now);
        return;
    }
    const er350f::Key role = er350f::KeyOf(key).key;
    const bool inText = textMode_ && key != er350f::kTextEndCode;
    const bool echo = !inText && role != er350f::Key::TextLine && role != er350f::Key::Lock && role != er350f::Key::Unlock;
    const std::int64_t echoAt = now + echoDelay_ + nextEchoDelay_;
    nextEchoDelay_ = 0;
    if (echo && !dropNextEcho_) Schedule(std::string(1, static_cast<char>((key + er350f::kEchoBit) & 0xFF)), echoAt);
    if (echo) dropNextEcho_ = false;
    Process(key, echoAt + printDelay_);
}

std::int64_t TSamsER350FSim::TakeEntry() {
    const std::int64_t v = ParseDigits(entry_);
    entry_.clear();
    return v;
}

// The amount of count_ (taken) times price, and the count's own line when it is not 1.
std::int64_t TSamsER350FSim::TakeCount(std::int64_t price, std::vector<std::string>& lines) {
    const std::int64_t count = ParseCount(count_);
    count_.clear();
    if (count != 1000)
        lines.push_back("  " + std::to_string(count / 1000) + "." + std::to_string(count % 1000 + 1000).substr(1) + " X " +
                        Money(price));
    // Absurd entries saturate instead of overflowing.
    const __int128 product = static_cast<__int128>(price) * count / 1000;
    return product > kMaxAmount ? kMaxAmount : static_cast<std::int64_t>(product);
}

void TSamsER350FSim::SellArticle(std::int64_t price, std::int64_t at) {
    if (article_ < 0) return;
    std::vector<std::string> lines;
    const std::int64_t amount = TakeCount(price, lines);
    Register(amount);
    lines.push_back(Columns("АРТИКУЛ " + std::to_string(article_), Money(amount)));
    Print(lines, at);
    article_ = -1;
}

void TSamsER350FSim::Register(std::int64_t amount) {
    if (!receiptOpen_) {
        receiptOpen_ = true;
        ++receiptNo_;
    }
    if (__builtin_add_overflow(total_, amount, &total_)) total_ = amount < 0 ? -kMaxAmount : kMaxAmount;
}

void TSamsER350FSim::Process(std::uint8_t code, std::int64_t printAt) {
    if (textMode_) {
        if (code == er350f::kTextEndCode) {
            textMode_ = false;
            textReady_ = true;
        } else if (Utf8Length(textLine_) < 64) {
            Utf8Append(textLine_, er350f::CharOf(code));
        }
        return;
    }
    const er350f::TKeyRow key = er350f::KeyOf(code);
    const bool numberKey = key.key == er350f::Key::Digit || key.key == er350f::Key::Point;
    // A chosen article takes the number keyed after it as its price when the article
    // key follows; any other key sells it at its programmed price first.
    if (article_ >= 0 && !numberKey && key.key != er350f::Key::Article) SellArticle(kProgrammedPrice, printAt);

    if (keyPos_ == static_cast<std::uint8_t>(er350f::Mode::X) || keyPos_ == static_cast<std::uint8_t>(er350f::Mode::Z)) {
        if (key.key == er350f::Key::Cash || key.key == er350f::Key::Article || key.key == er350f::Key::Cashier || key.key == er350f::Key::Separator)
            Report(key.key, printAt);
        return;  // programming of texts and other keys print nothing
    }
    if (keyPos_ != static_cast<std::uint8_t>(er350f::Mode::P)) return;  // programming prints nothing

    switch (key.key) {
        case er350f::Key::Digit:
        case er350f::Key::Point:
            if (entry_.size() < kEntryLimit) entry_ += key.key == er350f::Key::Point ? '.' : static_cast<char>('0' + key.value);
            break;
        case er350f::Key::Department: Sale(key.value, printAt); break;
        case er350f::Key::Start:
            entry_.clear();
            count_.clear();
            voidNext_ = payoutNext_ = false;
            article_ = -1;
            break;
        case er350f::Key::TextLine:
            textMode_ = true;
            textReady_ = false;
            textLine_.clear();
            break;
        case er350f::Key::TextPrint:
            if (textReady_) Print({textLine_}, printAt);
            textReady_ = false;
            break;
        case er350f::Key::Separator:
            count_ = entry_;
            entry_.clear();
            break;
        case er350f::Key::Void: voidNext_ = true; break;
        case er350f::Key::CashOut:
            if (entry_.empty()) {
                payoutNext_ = true;
            } else {
                Print({Columns("ВЫДАЧА", Money(TakeEntry()))}, printAt);
            }
            break;
        case er350f::Key::CashIn:
            if (!entry_.empty()) Print({Columns("ВНЕСЕНИЕ", Money(TakeEntry()))}, printAt);
            break;
        case er350f::Key::Article:
            if (article_ < 0) {
                article_ = TakeEntry();
            } else {
                SellArticle(TakeEntry(), printAt);
            }
            break;
        case er350f::Key::Cash:
        case er350f::Key::Check:
        case er350f::Key::Credit: Pay(key.key, printAt); break;
        default: break;  // cashier keys, lock and unlock print nothing
    }
}

void TSamsER350FSim::Sale(int dep, std::int64_t printAt) {
    std::vector<std::string> lines;
    std::int64_t amount = TakeCount(TakeEntry(), lines);
    std::string name = "ОТДЕЛ " + std::to_string(dep);
    if (voidNext_) {
        amount = -amount;
        name = "ВОЗВРАТ " + name;
    } else if (payoutNext_) {
        amount = -amount;
        name = "ВЫПЛАТА " + name;
    }
    voidNext_ = payoutNext_ = false;
    Register(amount);
    lines.push_back(Columns(name, Money(amount)));
    Print(lines, printAt);
}

void TSamsER350FSim::Pay(er350f::Key key, std::int64_t printAt) {
    const std::int64_t tendered = TakeEntry();
    if (!receiptOpen_) return;
    const char* kind = key == er350f::Key::Check ? "ЧЕКОМ" : key == er350f::Key::Credit ? "КРЕДИТ" : "НАЛИЧНЫМИ";
    std::vector<std::string> lines = {Columns("ИТОГ", Money(total_)), Columns(kind, Money(tendered ? tendered : total_))};
    if (tendered > 0 && tendered < total_ && key != er350f::Key::Credit) {
        // A split payment: the balance stays due and the receipt open.
        total_ -= tendered;
        lines.push_back(Columns("ОСТАТОК", Money(total_)));
        Print(lines, printAt);
        return;
    }
    if (tendered > total_) lines.push_back(Columns("СДАЧА", Money(tendered - total_)));
    if (receiptHeader_) {
        char number[32];
        std::snprintf(number, sizeof number, "%04d", receiptNo_);
        lines.push_back(std::string(kReceiptMark) + number);
        lines.push_back(std::string(kLineWidth, '_'));
        lines.push_back("");
        for (const std::string& h : header_) lines.push_back(h);
    }
    receiptOpen_ = false;
    total_ = 0;
    Print(lines, printAt);
}

void TSamsER350FSim::Report(er350f::Key key, std::int64_t printAt) {
    const char* name = key == er350f::Key::Cash      ? "ФИНАНСОВЫЙ"
                       : key == er350f::Key::Article ? "ПО АРТИКУЛАМ"
                       : key == er350f::Key::Cashier ? "КАССИРОВ"
                                             : "ПОЧАСОВОЙ";
    std::vector<std::string> lines = {std::string(keyPos_ == static_cast<std::uint8_t>(er350f::Mode::Z) ? "Z" : "X") + "-ОТЧЕТ " + name};
    for (int i = 1; i < kReportLines; ++i) lines.push_back(Columns("СТРОКА " + std::to_string(i), Money(0)));
    Print(lines, printAt);
}

}  // namespace tolver
