// The fiscal register's fault harness (a program printing figures, not a benchmark of
// speed). Each seeded run is a point-of-sale day through the "РФ 2160" driver object
// and its real engine (port on a pseudo-terminal, pump thread, event loop) against
// the register simulator, in lockstep virtual time: receipts of sales, texts, voids
// and closes, cash in and out, X reports; every fault kind of the simulator on a
// schedule; and, every few dozen commands, the line hung up (what the register sends
// is lost, the host closes and reopens) or the operator's Pause (the host's Done and
// Init), half of them right after the register took a command's frame.
//
// Per run: commands queued, faults, results per id, ids without exactly one result;
// how often the register carried out a command more than once, by what led to the
// repeat: a NAK or a malformed reply (both resends the protocol prescribes) or
// anything else (beyond the protocol: a reopen); and from the register's journal,
// commands reported done but not booked, reported failed but booked, and closed
// receipts whose total differs from the sales the host was told were done.
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
#include "drivers/dalvern/module/regfisc2160link.h"
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

struct Figures {
    int commands = 0, ids = 0, faults = 0, fired = 0, hangUps = 0, pauses = 0;
    std::map<int, int> byResult;
    int notOne = 0;
    int checked = 0;  // commands whose text is unique, so that a repeat shows
    int repeatNak = 0, repeatMalformed = 0, repeatBeyond = 0;
    int doneNotBooked = 0, failedBooked = 0, receipts = 0, receiptsOff = 0;
    long long virtualS = 0;
    double wallS = 0;

    void Add(const Figures& f) {
        commands += f.commands, ids += f.ids, faults += f.faults, fired += f.fired;
        hangUps += f.hangUps, pauses += f.pauses, notOne += f.notOne, checked += f.checked;
        for (const auto& [r, n] : f.byResult) byResult[r] += n;
        repeatNak += f.repeatNak, repeatMalformed += f.repeatMalformed, repeatBeyond += f.repeatBeyond;
        doneNotBooked += f.doneNotBooked, failedBooked += f.failedBooked;
        receipts += f.receipts, receiptsOff += f.receiptsOff, virtualS += f.virtualS, wallS += f.wallS;
    }
    void Print(const char* name) const {
        std::printf("%-8s %5d commands (%d with an id), %3d faults (%d fired), %2d hang-ups, %2d pauses;"
                    " results 0: %d, -1: %d, 1: %d; ids without one result: %d\n",
                    name, commands, ids, faults, fired, hangUps, pauses, byResult.count(0) ? byResult.at(0) : 0,
                    byResult.count(-1) ? byResult.at(-1) : 0, byResult.count(1) ? byResult.at(1) : 0, notOne);
        std::printf("         carried out again, of %d unique commands: after a NAK %d, after a malformed reply %d,"
                    " beyond the protocol %d\n",
                    checked, repeatNak, repeatMalformed, repeatBeyond);
        std::printf("         journal: done but not booked %d, failed but booked %d; receipts %d, total not as "
                    "reported %d; %lld s of register time in %.1f s\n",
                    doneNotBooked, failedBooked, receipts, receiptsOff, virtualS, wallS);
    }
};

std::string Money(std::int64_t hundredths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return buf;
}

// What the register books for a command the host queued, and the id it got.
struct Booking {
    std::int32_t id;
    std::string line;  // the journal line, or its unique part
    bool whole;        // line is the whole journal line (else a part of it)
};

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

    TRegFisc2160 driver(MakeRegFisc2160Link());
    TRegFisc2160Link& link = driver.Protocol();
    // One ordered record of what the engine logged and when the register carried out
    // a command: both happen inside the engine's steps, on this thread.
    std::vector<std::string> stream;
    std::vector<std::size_t> executedAt;  // stream position of each execution
    link.OnLog = [&](const std::string& s) { stream.push_back(s); };
    std::map<std::int32_t, std::vector<int>> results;
    std::int32_t lastId = 0;
    link.OnCommandResult = [&](std::int32_t id, std::int32_t r) {
        results[id].push_back(r);
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
            if (hangUp) sim.SetSilent(true);  // from here the register's answers are lost
        }
    };
    // Serves the event loop step by step until every id handed out has its result,
    // hanging up or pausing when due.
    const auto settle = [&](std::int32_t upTo) {
        QElapsedTimer guard;
        guard.start();
        for (;;) {
            if (due) {
                driver.Done();
                sim.SetSilent(false);
                stream.push_back("#reopen");
                (hangUp ? f.hangUps : f.pauses)++;
                std::string cause;
                driver.Init(cause);
                due = false;
                arm();
            }
            bool answered = true;
            for (std::int32_t id = 1; id <= upTo && answered; ++id) answered = results.count(id) > 0;
            if (answered) return true;
            if (guard.elapsed() > 600000) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };

    driver.SetComNumber(kCom);
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
    int serial = 0;
    while (queued() < commandTarget) {
        if (rng() % 20 == 0) {
            highest = std::max(highest, driver.RegOp(2, "1234"));
        }
        Receipt receipt;
        const int items = pick(rng, 1, 6);
        std::int64_t lastSum = 0;
        for (int i = 0; i < items; ++i) {
            const int art = pick(rng, 1, 50);
            const std::int64_t price = 100 + ++serial;  // distinct: each sale's text is unique
            const int count = rng() % 5 == 0 ? 2 : 1;
            const Currency sum = Currency::FromRaw(price * 100);
            const std::int32_t id = count == 1 ? driver.AddPayArt(art, sum, sum) : driver.AddPayArtInt(count, art, sum, sum);
            const std::string booked = "sale art " + std::to_string(art) + " qty " + std::to_string(count) +
                                       ".000 price " + Money(price) + " sum " + Money(price * count);
            receipt.lines.push_back({took(id, booked, true), price * count});
            lastSum = price * count;
            if (rng() % 4 == 0) driver.AddInfo("Чек " + std::to_string(++serial));
        }
        if (rng() % 8 == 0) {
            receipt.lines.push_back({took(driver.DelPayArt(Currency::FromRaw(100), Currency::FromRaw(100), 1), {}, false), -lastSum});
        }
        std::int64_t total = 0;
        for (const auto& l : receipt.lines) total += l.second;
        const std::int64_t tender = total + 100 * pick(rng, 0, 50) + ++serial;  // distinct
        const TPayType pay = static_cast<TPayType>(rng() % 3);
        receipt.tender = " tender " + Money(tender) + " ";
        receipt.close = took(driver.CloseCheck(pay, Currency::FromRaw(tender * 100)), receipt.tender, false);
        receipts.push_back(receipt);
        if (rng() % 10 == 0) {
            const std::int64_t in = 10000 + ++serial;
            took(driver.AddCash(TPayType::Cash, "", Currency::FromRaw(in * 100)), "cash-in cash " + Money(in), true);
            const std::int64_t out = ++serial % 97 + 1;
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
        ++f.byResult[it->second.front()];
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

    // The journal against what the host was told.
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
        const auto times = booked(b);
        if (it->second[0] == 0 && times == 0) ++f.doneNotBooked;
        if (it->second[0] != 0 && times > 0) ++f.failedBooked;
    }
    for (const Receipt& r : receipts) {
        const auto close = results.find(r.close);
        if (close == results.end() || close->second != std::vector<int>{0}) continue;
        std::int64_t told = 0;
        for (const auto& [id, sum] : r.lines)
            if (results.count(id) && results[id] == std::vector<int>{0}) told += sum;
        const auto line = std::find_if(journal.begin(), journal.end(),
                                       [&](const std::string& l) { return l.find(r.tender) != std::string::npos; });
        ++f.receipts;
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
        all.Add(f);
    }
    all.Print("all");
    return all.notOne == 0 && all.repeatBeyond == 0 ? 0 : 1;
}
