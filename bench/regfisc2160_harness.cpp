// The fiscal register's fault harness (a program printing figures, not a benchmark of
// speed). Each seeded run is a point-of-sale day through the "РФ 2160" driver object
// and its real engine (port on a pseudo-terminal, pump thread, event loop) against
// the register simulator, in lockstep virtual time: valid receipts (sales at distinct
// prices, texts, voids, a close whose tender covers the total), cash in and out of
// distinct amounts, X reports; every fault kind of the simulator on a schedule; and,
// every few dozen commands, the line hung up (what the register sends is lost until
// the operator pauses the link) or the operator's Pause, half of them right after the
// register took a command's frame. A Pause goes as the spooler's does: Terminate, the
// spooler's wait of two to three seconds, Done, Init.
//
// Per run: commands queued, faults, results per id, ids without exactly one result;
// how often the register carried out a command more than once, by what led to the
// repeat: a NAK or a malformed reply (both resends the protocol prescribes) or
// anything else (beyond the protocol); from the register's journal, commands reported
// done but not booked and reported failed but booked, each by its cause; receipts
// closed and closed receipts whose total differs from the sales the host was told
// were done.
//
//   bench_regfisc2160_harness [--seeds N] [--first-seed S] [--commands N]

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "drivers/dalvern/driver/regfisc2160.h"
#include "platform/registry/temp_registry.h"
#include "sim/rf2160/rf2160sim.h"
#include "sim/simline.h"

using namespace tolver;

namespace {

constexpr int kCom = 9;

// Every fault the simulator has: on the Nth command frame, and at a time.
const char* const kCommandFaults[] = {
    "nak",          "nak 3",        "no-ack",      "ack-only",      "late-ack 300", "late-ack 1500",
    "late-reply 2500", "unrecognised", "damaged",  "bad-sum",       "garbage 41 42", "garbage 41 15",
    "ack-in-frame", "error 04",     "error 80 02", "error 01 01",   "error 08",      "error 10 01",
    "error 20 01",  "split 150",    "silent 2500", "silent 8000",
};
const char* const kTimedFaults[] = {"status 80 02", "status 00 00", "garbage 01 46 49 53", "silent 3000", "ack", "nak"};

// Why the host was told something other than what the register booked.
const char* const kFailedCauses[] = {"hang-up", "reply time-out", "Pause", "resent copy refused", "error status", "other"};
const char* const kDoneCauses[] = {"never sent", "not carried out", "other"};
enum FailedCause { fcHangUp, fcTimeOut, fcPause, fcResentRefused, fcErrorStatus, fcOther, fcCount };
enum DoneCause { dcNeverSent, dcNotCarriedOut, dcOther, dcCount };

struct Figures {
    int commands = 0, ids = 0, faults = 0, fired = 0, hangUps = 0, pauses = 0;
    std::map<int, int> byResult;
    int notOne = 0;
    int checked = 0;  // commands whose text is unique, so that a repeat shows
    int repeatNak = 0, repeatMalformed = 0, repeatBeyond = 0;
    int failed[fcCount] = {}, done[dcCount] = {};
    int closesQueued = 0, closesDone = 0, closesBooked = 0, receiptsOff = 0;
    long long virtualS = 0;
    double wallS = 0;

    int FailedBooked() const {
        int n = 0;
        for (const int c : failed) n += c;
        return n;
    }
    int DoneNotBooked() const {
        int n = 0;
        for (const int c : done) n += c;
        return n;
    }
    void Add(const Figures& f) {
        commands += f.commands, ids += f.ids, faults += f.faults, fired += f.fired;
        hangUps += f.hangUps, pauses += f.pauses, notOne += f.notOne, checked += f.checked;
        for (const auto& [r, n] : f.byResult) byResult[r] += n;
        repeatNak += f.repeatNak, repeatMalformed += f.repeatMalformed, repeatBeyond += f.repeatBeyond;
        for (int i = 0; i < fcCount; ++i) failed[i] += f.failed[i];
        for (int i = 0; i < dcCount; ++i) done[i] += f.done[i];
        closesQueued += f.closesQueued, closesDone += f.closesDone, closesBooked += f.closesBooked;
        receiptsOff += f.receiptsOff, virtualS += f.virtualS, wallS += f.wallS;
    }
    void Print(const char* name) const {
        const auto result = [&](int r) { return byResult.count(r) ? byResult.at(r) : 0; };
        std::printf("%-8s %5d commands (%d with an id), %3d faults (%d fired), %2d hang-ups, %2d pauses;"
                    " results 0: %d, -1: %d, 1: %d; ids without one result: %d\n",
                    name, commands, ids, faults, fired, hangUps, pauses, result(0), result(-1), result(1), notOne);
        std::printf("         carried out again, of %d unique commands: after a NAK %d, after a malformed reply %d,"
                    " beyond the protocol %d\n",
                    checked, repeatNak, repeatMalformed, repeatBeyond);
        std::printf("         done but not booked %d:", DoneNotBooked());
        for (int i = 0; i < dcCount; ++i) std::printf(" %s %d%s", kDoneCauses[i], done[i], i + 1 < dcCount ? "," : "");
        std::printf("\n         failed but booked %d:", FailedBooked());
        for (int i = 0; i < fcCount; ++i)
            std::printf(" %s %d%s", kFailedCauses[i], failed[i], i + 1 < fcCount ? "," : "");
        std::printf("\n         receipts: %d closes queued, %d reported done, %d booked; closed with a total not as"
                    " reported %d; %lld s of register time in %.1f s\n",
                    closesQueued, closesDone, closesBooked, receiptsOff, virtualS, wallS);
    }
};

std::string Money(std::int64_t hundredths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return buf;
}

// The real engine, recording the text of every command with an id, so that the
// harness can ask the register how often that text reached it.
class TRecordingEngine final : public TRegFisc2160Protocol {
public:
    int AddCommand(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                   const std::string& Description) override {
        const int id = TRegFisc2160Protocol::AddCommand(Text, Mode, Options, Description);
        if (id > 0) texts[id] = Text;
        return id;
    }

    std::map<std::int32_t, std::string> texts;
};

// What the register books for a command the host queued, and the id it got.
struct Booking {
    std::int32_t id;
    std::string line;  // the journal line, or its unique part
    bool whole;        // line is the whole journal line (else a part of it)
};

// One result as it came, with what explains it.
struct Outcome {
    int result;
    bool inDone;          // given while the host's Done ran
    bool hungUp;          // given while the line was hung up (from the hang-up until the reopened
                          // engine asks for the identification)
    std::string error;    // the error line the engine logged right before it, if any
    std::size_t at;       // the engine's log lines before it
};

// With TOLVER_HARNESS_TRACE set, each difference between the journal and the results
// is printed with the engine's log lines before its result.
void Trace(const char* what, std::int32_t id, const std::string& booking, const std::vector<std::string>& stream,
           std::size_t at) {
    if (!std::getenv("TOLVER_HARNESS_TRACE")) return;
    std::printf("---- %s: id %d, \"%s\"\n", what, id, booking.c_str());
    for (std::size_t i = at > 60 ? at - 60 : 0; i < at && i < stream.size(); ++i) std::printf("%s", stream[i].c_str());
}

Figures RunSeed(unsigned seed, int commandTarget) {
    Figures f;
    QElapsedTimer wall;
    wall.start();
    TempRegistry registry;
    TRf2160Sim sim;
    TSimLine line(sim, kCom);
    std::mt19937 rng(seed), disrupt(seed * 7919u + 1u);
    const auto pick = [](std::mt19937& g, int lo, int hi) { return lo + static_cast<int>(g() % static_cast<unsigned>(hi - lo + 1)); };

    std::string script;
    int n = 0;
    for (int frame = 4; frame < commandTarget * 5 / 4; frame += pick(rng, 6, 18), ++n)
        script += "cmd " + std::to_string(frame) + " " + kCommandFaults[n % std::size(kCommandFaults)] + ";";
    for (int at = 20000, k = 0; at < commandTarget * 400; at += pick(rng, 15000, 40000), ++k, ++n)
        script += "at " + std::to_string(at) + " " + kTimedFaults[k % std::size(kTimedFaults)] + ";";
    f.faults = n;
    sim.AddFaults(ParseRf2160Faults(script));

    auto owned = std::make_unique<TRecordingEngine>();
    TRecordingEngine& recorder = *owned;
    TRegFisc2160 driver(std::move(owned));
    TRegFisc2160Protocol& link = driver.Protocol();
    // One ordered record of what the engine logged and when the register carried out
    // a command: both happen inside the engine's steps, on this thread.
    std::vector<std::string> stream;
    std::vector<std::size_t> executedAt;  // stream position of each execution
    std::string lastError;
    std::size_t lastErrorAt = 0;  // stream size right after the last error line
    bool inDone = false, hungUp = false, reopened = false;
    link.OnLog = [&](const std::string& s) {
        stream.push_back(s);
        // The hang-up's time ends where the engine, reopened, identifies the register.
        if (reopened && s.find("-> ") != std::string::npos && s.find("002S1") != std::string::npos)
            hungUp = reopened = false;
        if (s.find("<- ошибка ") != std::string::npos) {
            lastError = s;
            lastErrorAt = stream.size();
        }
    };
    std::map<std::int32_t, std::vector<Outcome>> results;
    std::int32_t lastId = 0;
    link.OnCommandResult = [&](std::int32_t id, std::int32_t r) {
        // The error logged last explains a result only when nothing was logged since.
        results[id].push_back(
            {r, inDone, hungUp, lastErrorAt == stream.size() ? lastError : std::string(), stream.size()});
        lastId = std::max(lastId, id);
    };
    bool due = false, hangUp = false;
    std::int64_t disruptAtTime = -1;
    std::size_t disruptAtExec = static_cast<std::size_t>(pick(disrupt, 20, 120));
    const auto arm = [&] {
        if (disrupt() % 2) {
            disruptAtExec = sim.Executed().size() + static_cast<std::size_t>(pick(disrupt, 40, 160));
            disruptAtTime = -1;
        } else {
            disruptAtExec = 0;
            disruptAtTime = line.clock.NowMs() + pick(disrupt, 20000, 90000);
        }
    };
    line.clock.OnSleep = [&](std::int64_t now) {
        while (executedAt.size() < sim.Executed().size()) executedAt.push_back(stream.size());
        if (due) return;
        if ((disruptAtExec && sim.Executed().size() >= disruptAtExec) || (disruptAtTime >= 0 && now >= disruptAtTime)) {
            due = true;
            hangUp = disrupt() % 2;
            if (hangUp) {
                sim.SetSilent(true);  // from here the register's answers are lost
                hungUp = true;
            }
        }
    };
    // The operator's Pause as the spooler runs it: Terminate, then Done once the
    // spooler's wait for the link to stop is over, then Init.
    std::int64_t doneAt = -1;
    const auto pause = [&] {
        if (doneAt < 0) {
            driver.Terminate();
            doneAt = line.clock.NowMs() + pick(disrupt, 2000, 3000);
            return;
        }
        if (line.clock.NowMs() < doneAt) return;
        inDone = true;
        driver.Done();
        inDone = false;
        sim.SetSilent(false);
        stream.push_back("#reopen");
        (hangUp ? f.hangUps : f.pauses)++;
        std::string cause;
        driver.Init(cause);
        reopened = hungUp;
        due = false;
        doneAt = -1;
        arm();
    };
    // Serves the event loop step by step until every id handed out has its result,
    // hanging up or pausing when due.
    const auto settle = [&](std::int32_t upTo) {
        QElapsedTimer guard;
        guard.start();
        for (;;) {
            if (due) pause();
            bool answered = true;
            for (std::int32_t id = 1; id <= upTo && answered; ++id) answered = results.count(id) > 0;
            if (answered) return true;
            if (guard.elapsed() > 600000) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };

    driver.Protocol().SetComNumber(kCom);
    driver.Settings().IgnoreReplyFormatError = false;
    std::string cause;
    if (driver.Init(cause) != 0) {
        std::fprintf(stderr, "Init: %s\n", cause.c_str());
        std::exit(1);
    }
    // Commands queued so far (each is logged once as it is queued).
    std::size_t seen = 0;
    const auto queued = [&] {
        for (; seen < stream.size(); ++seen) f.commands += stream[seen].find("в очередь ") != std::string::npos;
        return f.commands;
    };
    std::vector<Booking> bookings;
    std::int32_t highest = 0;
    const auto took = [&](std::int32_t id, std::string journal, bool whole) {
        if (id > 0) {
            highest = std::max(highest, id);
            bookings.push_back({id, std::move(journal), whole});
        }
        return id;
    };
    struct Receipt {
        std::vector<std::pair<std::int32_t, std::int64_t>> lines;  // id, sum (a void negative)
        std::int32_t close;
        std::string tender;
    };
    std::vector<Receipt> receipts;
    // Every amount the harness sends is distinct: serial grows with each one.
    int serial = 0;
    const auto next = [&] {
        if (++serial >= 100000) {
            std::fprintf(stderr, "seed %u: more amounts than the harness keeps distinct\n", seed);
            std::exit(1);
        }
        return serial;
    };
    while (queued() < commandTarget) {
        if (rng() % 20 == 0) {
            highest = std::max(highest, driver.RegOp(2, "1234"));
        }
        Receipt receipt;
        const int items = pick(rng, 1, 6);
        std::int64_t lastSum = 0, lastPrice = 0;
        int lastArt = 0;
        for (int i = 0; i < items; ++i) {
            const int art = pick(rng, 1, 50);
            const std::int64_t price = 100 + next();  // distinct: each sale's text is unique
            const int count = rng() % 5 == 0 ? 2 : 1;
            const Currency sum = Currency::FromRaw(price * 100);
            const std::int32_t id = count == 1 ? driver.AddPayArt(art, sum, sum) : driver.AddPayArtInt(count, art, sum, sum);
            const std::string booked = "sale art " + std::to_string(art) + " qty " + std::to_string(count) +
                                       ".000 price " + Money(price) + " sum " + Money(price * count);
            receipt.lines.push_back({took(id, booked, true), price * count});
            lastSum = price * count;
            lastPrice = price;
            lastArt = art;
            if (rng() % 4 == 0) driver.AddInfo("Чек " + std::to_string(next()));
        }
        if (rng() % 8 == 0) {  // the void of the last line, as the register's void is
            const Currency price = Currency::FromRaw(lastPrice * 100);
            const std::int32_t id = took(driver.DelPayArt(price, price, lastArt), {}, false);
            if (id > 0) receipt.lines.push_back({id, -lastSum});
        }
        std::int64_t total = 0;
        for (const auto& l : receipt.lines) total += l.second;
        // A tender that covers the receipt even where the register booked a line the
        // protocol sent twice or the host was told had failed: twice the total, up to
        // whole thousands, and a distinct serial in the hundredths below.
        const std::int64_t tender = (2 * total / 100000 + 1) * 100000 + next();
        const TPayType pay = static_cast<TPayType>(rng() % 3);
        receipt.tender = " tender " + Money(tender) + " ";
        receipt.close = took(driver.CloseCheck(pay, Currency::FromRaw(tender * 100)), receipt.tender, false);
        receipts.push_back(receipt);
        if (rng() % 10 == 0) {
            const std::int64_t in = 10000 + next();
            took(driver.AddCash(TPayType::Cash, "", Currency::FromRaw(in * 100)), "cash-in cash " + Money(in), true);
            const std::int64_t out = next();  // below what came in just now
            took(driver.ReturnCash(TPayType::Cash, "", Currency::FromRaw(out * 100)), "cash-out cash " + Money(out), true);
        }
        if (rng() % 50 == 0) {
            driver.GetXReport("0;");
        }
        if (!settle(highest)) {
            std::fprintf(stderr, "seed %u: no result within the guard\n", seed);
            std::exit(1);
        }
    }
    f.fired = sim.FaultsFired();
    queued();
    f.virtualS = line.clock.NowMs() / 1000;

    // Results: exactly one for every id handed out.
    for (std::int32_t id = 1; id <= std::max(highest, lastId); ++id) {
        const auto it = results.find(id);
        if (it == results.end() || it->second.size() != 1) {
            ++f.notOne;
            continue;
        }
        ++f.byResult[it->second.front().result];
    }
    f.ids = std::max(highest, lastId);

    // Repeats of a unique command, by what came between its two executions.
    std::map<std::string, std::size_t> lastExec;
    const auto& executed = sim.Executed();
    for (std::size_t i = 0; i < executed.size(); ++i) {
        const std::string& t = executed[i].text;
        const char c = t.empty() ? 0 : t[0];
        const bool unique = c == ')' || c == '@' || c == '2' || t.rfind("91", 0) == 0 || t.rfind("90", 0) == 0;
        if (!unique) continue;
        const auto prev = lastExec.find(t);
        if (prev == lastExec.end()) {
            ++f.checked;
            lastExec[t] = i;
            continue;
        }
        bool nak = false, malformed = false;
        for (std::size_t k = executedAt[prev->second]; k < executedAt[i]; ++k) {
            malformed = malformed || stream[k].find("ошибка формата ответа на команду") != std::string::npos;
            nak = nak || stream[k].find("ошибка связи") != std::string::npos;
        }
        (malformed ? f.repeatMalformed : nak ? f.repeatNak : f.repeatBeyond)++;
        prev->second = i;
    }

    // The journal against what the host was told, each difference by its cause.
    const std::vector<std::string>& journal = sim.Journal();
    const auto booked = [&](const Booking& b) {
        return std::count_if(journal.begin(), journal.end(), [&](const std::string& l) {
            return b.whole ? l == b.line : l.find(b.line) != std::string::npos;
        });
    };
    for (const Booking& b : bookings) {
        if (b.line.empty()) continue;
        const auto it = results.find(b.id);
        if (it == results.end() || it->second.size() != 1) continue;
        const Outcome& o = it->second[0];
        const auto times = booked(b);
        const std::string& text = recorder.texts[b.id];
        if (o.result == 0 && times == 0) {
            const DoneCause c = sim.ReceivedCount(text) == 0 ? dcNeverSent
                                : sim.ExecutedCount(text) == 0 ? dcNotCarriedOut
                                                               : dcOther;
            ++f.done[c];
            Trace(kDoneCauses[c], b.id, b.line, stream, o.at);
        }
        if (o.result != 0 && times > 0) {
            FailedCause c = fcOther;
            const bool noReply = o.error.find("нет ответа на команду") != std::string::npos;
            const bool comm = o.error.find("Ошибка коммуникации") != std::string::npos;
            if (o.inDone)
                c = o.hungUp ? fcHangUp : fcPause;
            else if (noReply)
                c = o.hungUp ? fcHangUp : fcTimeOut;
            else if (!o.error.empty() && !comm)
                c = sim.ReceivedCount(text) > 1 ? fcResentRefused : fcErrorStatus;
            ++f.failed[c];
            Trace(kFailedCauses[c], b.id, b.line, stream, o.at);
        }
    }
    for (const Receipt& r : receipts) {
        ++f.closesQueued;
        const auto close = results.find(r.close);
        const auto line = std::find_if(journal.begin(), journal.end(),
                                       [&](const std::string& l) { return l.find(r.tender) != std::string::npos; });
        f.closesBooked += line != journal.end();
        if (close == results.end() || close->second.size() != 1 || close->second[0].result != 0) continue;
        ++f.closesDone;
        std::int64_t told = 0;
        for (const auto& [id, sum] : r.lines)
            if (results.count(id) && results[id].size() == 1 && results[id][0].result == 0) told += sum;
        if (line == journal.end() || line->find("total " + Money(told) + " ") == std::string::npos) ++f.receiptsOff;
    }
    f.wallS = static_cast<double>(wall.elapsed()) / 1000.0;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int seeds = 3, commands = 2400;
    unsigned first = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seeds") == 0)
            seeds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--first-seed") == 0)
            first = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--commands") == 0)
            commands = std::atoi(argv[i + 1]);
    }
    QApplication app(argc, argv);
    Figures all;
    for (int s = 0; s < seeds; ++s) {
        const Figures f = RunSeed(first + static_cast<unsigned>(s), commands);
        const std::string name = "seed " + std::to_string(first + static_cast<unsigned>(s));
        f.Print(name.c_str());
        std::fflush(stdout);
        all.Add(f);
    }
    all.Print("all");
    return all.notOne == 0 && all.repeatBeyond == 0 && all.DoneNotBooked() == 0 && all.failed[fcPause] == 0 ? 0 : 1;
}
