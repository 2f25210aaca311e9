// spoolctl: the spooler's automation members from the command line, for scripts.
//
//   spoolctl [--spoolauto] <command> [--<argument> <value>]... [--wait] [--timeout <s>]
//   spoolctl monitor          stays a client and prints every command result
//   spoolctl help             lists the commands and their arguments
//
// A command is a member of SpoolAuto1 (of SpoolAuto with --spoolauto) in lower case
// with dashes (add-pay-art), or its short name in the member table (sale-art). Amounts are
// decimal text ("6.00"), counts decimal numbers, PayType cash, check, credit or 0 to 2.
// --wait waits for the OnCommandResult of the command id that the member answered;
// 0 (done without a command id) has none, so nothing is waited for.
// Exit codes: 0 done, 1 the member refused (-1, an item not found too) or the awaited
// result was not 0, 2 bad arguments, 3 no spooler (or it ended while a result was
// awaited, or while monitor ran), 4 the member failed, 5 no result within the time-out.

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/variant/variant.h"
#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"

namespace bus = tolver::spooler::bus;
using tolver::Currency;
using tolver::spooler::client::SpoolAuto;
using tolver::spooler::client::SpoolAuto1;
using tolver::spooler::client::SpoolError;
using tolver::spooler::client::SpoolObject;

namespace {

enum Exit { kOk = 0, kRefused = 1, kUsage = 2, kNoSpooler = 3, kFailed = 4, kTimedOut = 5 };

struct UsageError {
    std::string text;
};

// "SumWithoutNDS" -> "sum-without-nds", "NArt" -> "n-art", "aID" -> "a-id".
std::string Kebab(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool upper = c >= 'A' && c <= 'Z';
        if (upper && i > 0) {
            const char prev = name[i - 1];
            const bool prevLower = prev >= 'a' && prev <= 'z';
            const bool nextLower = i + 1 < name.size() && name[i + 1] >= 'a' && name[i + 1] <= 'z';
            const bool prevUpper = prev >= 'A' && prev <= 'Z';
            if (prevLower || (prevUpper && nextLower)) out += '-';
        }
        out += upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

using Arg = bus::Arg;

std::vector<Arg> ParseArgs(std::string_view list) {
    std::vector<Arg> out;
    for (std::size_t k = 0; k < bus::ArgCount(list); ++k) out.push_back(bus::ArgAt(list, k));
    return out;
}

// The option names of an argument: its kebab name, and without the "n-" of a number.
std::vector<std::string> OptionNames(std::string_view name) {
    std::vector<std::string> names{Kebab(name)};
    if (names[0].starts_with("n-")) names.push_back(names[0].substr(2));
    if (name == "pHandle") names.push_back("handle");
    if (name == "aID") names.push_back("id");
    return names;
}

std::int32_t ParseInt(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX)
        throw UsageError{"--" + option + ": not a whole number: " + text};
    return static_cast<std::int32_t>(v);
}

// Plain decimal text: digits with an optional sign and one decimal point (or
// comma); no exponent, no blanks, no hexadecimal, no "inf" or "nan".
bool PlainDecimal(const std::string& text) {
    std::size_t i = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') digits = true;
        else if ((c == '.' || c == ',') && !point) point = true;
        else return false;
    }
    return digits;
}

QVariant ParseValue(const Arg& arg, const std::string& option, const std::string& text) {
    switch (arg.type) {
        case 'x':
            if (!PlainDecimal(text)) throw UsageError{"--" + option + ": not an amount: " + text};
            try {
                return QVariant::fromValue<qlonglong>(Currency::Parse(text).raw());
            } catch (const std::exception&) {
                throw UsageError{"--" + option + ": not an amount: " + text};
            }
        case 'd': {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (!PlainDecimal(text) || *end || !std::isfinite(v)) throw UsageError{"--" + option + ": not a number: " + text};
            return v;
        }
        case 'b':
            if (text == "1" || text == "true" || text == "yes") return true;
            if (text == "0" || text == "false" || text == "no") return false;
            throw UsageError{"--" + option + ": true or false, not " + text};
        case 'i':
            if (arg.name == "PayType") {
                if (text == "cash" || text == "0") return 0;
                if (text == "check" || text == "1") return 1;
                if (text == "credit" || text == "2") return 2;
                throw UsageError{"--" + option + ": cash, check, credit or 0 to 2, not " + text};
            }
            return ParseInt(option, text);
        default:
            return QString::fromStdString(text);
    }
}

// An argument left out: Count 1, SumWithoutNDS the Sum, PayType cash, Print true,
// texts, in/out parameters and the unused NDS empty or 0; anything else must be given.
std::optional<QVariant> DefaultValue(const bus::Member& member, const Arg& arg) {
    // An in/out parameter starts from nothing.
    if (bus::OutIndex(member, arg.name) >= 0) {
        if (arg.type == 'x') return QVariant::fromValue<qlonglong>(0);
        if (arg.type == 'i') return 0;
    }
    if (arg.name == "Count") return 1.0;
    if (arg.name == "PayType" || arg.name == "NDS" || arg.name == "Avans") return arg.type == 'x' ? QVariant::fromValue<qlonglong>(0) : QVariant(0);
    if (arg.type == 's') return QString();
    if (arg.name == "Print") return true;
    return std::nullopt;
}

QString Text(const QVariant& v, char type) {
    if (type == 'x') return QString::fromStdString(Currency::FromRaw(v.toLongLong()).ToString());
    if (type == 'b') return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return v.toString();
}

std::string Placeholder(const Arg& a) {
    if (a.name == "PayType") return "<cash|check|credit>";
    switch (a.type) {
        case 'x': return "<amount>";
        case 'd': return "<number>";
        case 'b': return "<true|false>";
        case 's': return "<text>";
        default: return "<n>";
    }
}

void PrintHelp() {
    std::printf(
        "usage: spoolctl [--spoolauto] <command> [--<argument> <value>]... [--wait] [--timeout <seconds>]\n"
        "       spoolctl monitor     stay a client of the spooler and print every command result\n"
        "Amounts are decimal text (6.00); PayType is cash, check, credit or 0..2.\n"
        "--wait waits for the command's OnCommandResult and prints it; a command that\n"
        "answered 0 queued nothing to wait for and ends at once.\n"
        "Exit codes: 0 done, 1 refused (-1) or result not 0, 2 bad arguments, 3 no spooler,\n"
        "4 the member failed, 5 no result within the time-out (default 60 s).\n\n");
    auto list = [](const char* title, std::span<const bus::Member> table) {
        std::printf("%s\n", title);
        for (const bus::Member& m : table) {
            std::string line = "  " + Kebab(m.name);
            if (!m.alias.empty()) line += " (" + std::string(m.alias) + ")";
            for (const Arg& a : ParseArgs(m.in)) line += " --" + OptionNames(a.name).back() + " " + Placeholder(a);
            std::printf("%s\n", line.c_str());
        }
    };
    list("SpoolAuto1 commands:", bus::kSpoolAuto1Members);
    list("SpoolAuto commands (with --spoolauto):", bus::kSpoolAutoMembers);
}

int Fail(const SpoolError& e) {
    if (e.noSpooler()) {
        std::fprintf(stderr, "spoolctl: no spooler runs on the session bus and none could be started "
                             "(is it installed with \"Spooler --regserver\"?)\n  %s\n", e.what());
        return kNoSpooler;
    }
    std::fprintf(stderr, "spoolctl: %s\n", e.what());
    return kFailed;
}

int Monitor() {
    SpoolAuto1 client;
    client.Advise([](std::int32_t id, std::int32_t result) {
        std::printf("OnCommandResult %d %d\n", id, result);
        std::fflush(stdout);
    });
    std::printf("monitoring %s\n", qPrintable(client.path()));
    std::fflush(stdout);
    // Ends with the spooler; killed, it leaves the bus and the spooler releases its object.
    QDBusServiceWatcher watcher(QLatin1String(bus::kServiceName), client.connection(),
                                QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    std::fprintf(stderr, "spoolctl: the spooler ended\n");
    return kNoSpooler;
}

// The command line: the flags, the command and its --<argument> values.
struct Invocation {
    bool legacy = false, wait = false;
    int timeoutSeconds = 60;
    std::string command;
    std::map<std::string, std::string> options;
};

Invocation ParseCommandLine(const std::vector<std::string>& args) {
    Invocation inv;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--spoolauto") inv.legacy = true;
        else if (a == "--wait") inv.wait = true;
        else if (a == "--help" || a == "-h") inv.command = "help";
        else if (a == "--timeout") {
            if (i + 1 >= args.size()) throw UsageError{"--timeout needs seconds"};
            inv.timeoutSeconds = ParseInt("timeout", args[++i]);
            if (inv.timeoutSeconds <= 0) throw UsageError{"--timeout needs seconds above 0"};
        } else if (a.starts_with("--")) {
            std::string name = a.substr(2), value;
            if (const auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.erase(eq);
            } else {
                if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
                value = args[++i];
            }
            inv.options[name] = value;
        } else if (inv.command.empty()) inv.command = a;
        else throw UsageError{"unexpected argument: " + a};
    }
    return inv;
}

const bus::Member& FindMember(const Invocation& inv) {
    std::span<const bus::Member> table = inv.legacy ? std::span<const bus::Member>(bus::kSpoolAutoMembers)
                                                    : std::span<const bus::Member>(bus::kSpoolAuto1Members);
    const bus::Member* member = nullptr;
    for (const bus::Member& m : table)
        if (Kebab(m.name) == inv.command || m.name == inv.command || m.alias == inv.command) member = &m;
    if (!member) throw UsageError{"unknown command: " + inv.command + " (spoolctl help lists them)"};
    return *member;
}

// The member's arguments in declaration order, from the options (taken out of
// options) or their defaults; an option left over is an error.
QList<QVariant> CallArgs(const bus::Member& member, std::map<std::string, std::string> options,
                         const std::string& command) {
    const std::vector<Arg> in = ParseArgs(member.in);
    QList<QVariant> callArgs;
    std::optional<QVariant> sum;
    for (const Arg& arg : in) {
        std::optional<QVariant> value;
        for (const std::string& option : OptionNames(arg.name))
            if (auto it = options.find(option); it != options.end()) {
                value = ParseValue(arg, option, it->second);
                options.erase(it);
            }
        if (!value) value = DefaultValue(member, arg);
        if (!value && arg.name != "SumWithoutNDS") throw UsageError{"--" + OptionNames(arg.name).back() + " is required"};
        if (arg.name == "Sum") sum = value;
        callArgs.push_back(value ? *value : QVariant());
    }
    for (std::size_t i = 0; i < in.size(); ++i)
        if (in[i].name == "SumWithoutNDS" && !callArgs[static_cast<int>(i)].isValid()) {
            if (!sum) throw UsageError{"--sum-without-nds is required"};
            callArgs[static_cast<int>(i)] = *sum;
        }
    if (!options.empty()) throw UsageError{"unknown option --" + options.begin()->first + " for " + command};
    return callArgs;
}

// The answer as one value a line, named where there are several.
void PrintAnswer(const std::vector<Arg>& out, const QList<QVariant>& values) {
    for (std::size_t i = 0; i < out.size() && static_cast<int>(i) < values.size(); ++i) {
        const QString text = Text(values[static_cast<int>(i)], out[i].type);
        if (out.size() == 1) std::printf("%s\n", qPrintable(text));
        else std::printf("%.*s=%s\n", static_cast<int>(out[i].name.size()), out[i].name.data(), qPrintable(text));
    }
    std::fflush(stdout);
}

// Waits in loop for the result of id, which ends the wait; so do the spooler leaving
// the bus (no result can come then) and the time-out.
int AwaitResult(SpoolObject& object, QEventLoop& loop, std::int32_t& awaited,
                const std::map<std::int32_t, std::int32_t>& results, std::int32_t id, int timeoutSeconds) {
    bool spoolerLeft = false;
    if (!results.count(id)) {
        awaited = id;
        QDBusServiceWatcher watcher(QLatin1String(bus::kServiceName), object.connection(),
                                    QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, [&] {
            spoolerLeft = true;
            loop.quit();
        });
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(std::chrono::milliseconds(std::min<long long>(timeoutSeconds * 1000LL, INT32_MAX)));
        loop.exec();
    }
    auto it = results.find(id);
    if (it == results.end()) {
        if (spoolerLeft) {
            std::fprintf(stderr, "spoolctl: the spooler ended before the result of command %d\n", id);
            return kNoSpooler;
        }
        std::fprintf(stderr, "spoolctl: no result for command %d within %d s\n", id, timeoutSeconds);
        return kTimedOut;
    }
    std::printf("result %d %d\n", id, it->second);
    return it->second == 0 ? kOk : kRefused;
}

int Run(const std::vector<std::string>& args) {
    const Invocation inv = ParseCommandLine(args);
    if (inv.command.empty() || inv.command == "help") {
        PrintHelp();
        return inv.command.empty() ? kUsage : kOk;
    }
    if (inv.command == "monitor") return Monitor();

    const bus::Member& member = FindMember(inv);
    const QList<QVariant> callArgs = CallArgs(member, inv.options, inv.command);
    const std::vector<Arg> out = ParseArgs(member.out);
    // A member whose only answer is an Integer Value answers a command id (or -1).
    const bool returnsId = member.out == "i:Value";
    if (inv.wait && (inv.legacy || !returnsId)) throw UsageError{"--wait needs a command that returns a command id"};

    // The sink is advised before the call, so a result that comes at once is kept.
    std::unique_ptr<SpoolObject> object;
    std::map<std::int32_t, std::int32_t> results;
    std::int32_t awaited = 0;
    QEventLoop waiting;
    if (inv.legacy)
        object = std::make_unique<SpoolAuto>();
    else {
        auto current = std::make_unique<SpoolAuto1>();
        if (inv.wait)
            current->Advise([&](std::int32_t id, std::int32_t result) {
                results.emplace(id, result);
                if (id == awaited) waiting.quit();
            });
        object = std::move(current);
    }
    const QList<QVariant> values = object->call(QString::fromUtf8(member.name.data(), member.name.size()), callArgs);
    PrintAnswer(out, values);
    // An Integer Value of -1 is a refusal (an item not found, too), whether or not
    // the member answers command ids.
    const bool hasValue = !out.empty() && out.back().name == "Value" && out.back().type == 'i';
    if (hasValue && values.value(values.size() - 1).toInt() < 0) return kRefused;
    if (!returnsId) return kOk;
    const std::int32_t id = values.value(values.size() - 1).toInt();
    // 0: done without a command id, so no result will come.
    if (!inv.wait || id == 0) return kOk;
    return AwaitResult(*object, waiting, awaited, results, id, inv.timeoutSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "spoolctl: %s\n", e.text.c_str());
        return kUsage;
    } catch (const SpoolError& e) {
        return Fail(e);
    }
}
