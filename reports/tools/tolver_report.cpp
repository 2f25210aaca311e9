// tolver-report: a report host on the terminal. It lists the reports of the reports
// component category and runs one of them by period, shift or operator, showing the
// progress and stopping cleanly on Ctrl-C (a second Ctrl-C ends it at once). It first
// makes sure, from the report object itself, that the report holds its payment
// archive (a report without one answers all zero), and it exits non-zero when it does
// not, when a report could not be built, or when it was stopped. Days that a report
// left out for a column their table lacks are named on standard error.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/com/cocreate.h"
#include "platform/com/comcat.h"
#include "platform/registry/registry.h"
#include "reports/options.h"
#include "reports/report.h"
#include "reports/reportintf.h"

using namespace tolver;

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
    if (interrupted.exchange(true)) {
        // The second Ctrl-C: no waiting for the report to notice.
        static const char said[] = "\ntolver-report: stopped by Ctrl-C\n";
        [[maybe_unused]] const auto n = ::write(STDERR_FILENO, said, sizeof said - 1);
        ::_exit(130);
    }
}

int Usage(std::ostream& out = std::cerr, int status = 2) {
    out <<
        "usage: tolver-report list\n"
        "       tolver-report period   REPORT FROM TO [options]\n"
        "       tolver-report shift    REPORT START END OPERATOR [options]\n"
        "       tolver-report operator REPORT FROM TO NAME START END [START END ...] [options]\n"
        "       tolver-report names    REPORT FROM TO\n"
        "REPORT is a class identifier {...} or a ProgID (Vora.VoraReport, Merrow.MerrowReport).\n"
        "Dates: yyyy-mm-dd or yyyy-mm-ddThh:mm[:ss] (FROM alone starts at 00:00, TO alone takes in the whole day).\n"
        "Options: --title TEXT      a title line\n"
        "         --properties P    the report's properties, \"mode:option:names\" (Vora: mode 0 all payments\n"
        "                           flat, 1 each payment, 2 the payments of Reports.ini, 3 the names given,\n"
        "                           one per \";\")\n"
        "         --raw             the text as the report gives it (markers and CR LF)\n"
        "The registry store is " << RegistryPath() << " (TOLVER_REGISTRY).\n"
        "Exit status: 0 done, 1 no archive or the report could not be built, 2 bad arguments,\n"
        "130 stopped by Ctrl-C.\n";
    return status;
}

int Refuse(const std::string& why) {
    std::cerr << "tolver-report: " << why << "\n";
    return 2;
}

// A date as a day number; endOfDay for a date without a time that ends a range.
bool ParseDate(const std::string& s, bool endOfDay, double& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, n = 0;
    const int got = std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &n);
    if (got != 3) return false;
    bool hasTime = false;
    if (static_cast<std::size_t>(n) < s.size()) {
        const char* rest = s.c_str() + n;
        if (*rest != 'T' && *rest != ' ') return false;
        int m = 0;
        if (std::sscanf(rest + 1, "%2d:%2d%n", &h, &mi, &m) != 2) return false;
        rest += 1 + m;
        if (*rest == ':') {
            if (std::sscanf(rest + 1, "%2d%n", &sec, &m) != 1) return false;
            rest += 1 + m;
        }
        if (*rest) return false;
        hasTime = true;
    }
    try {
        out = EncodeDate(y, mo, d) + EncodeTime(h, mi, sec);
        if (!hasTime && endOfDay) out = EncodeDate(y, mo, d) + TReport::kEndOfDay;
    } catch (...) {
        return false;
    }
    return true;
}

// A date argument; false, with the argument named, when it is not one.
bool DateArgument(const char* name, const std::string& value, bool endOfDay, double& out) {
    if (ParseDate(value, endOfDay, out)) return true;
    std::cerr << "tolver-report: " << name << " \"" << value
              << "\" is not a date: yyyy-mm-dd or yyyy-mm-ddThh:mm[:ss] (a real day and time of day)\n";
    return false;
}

// Whether the options server names a payment archive for the reports' section; says
// what is missing when not.
bool ArchiveNamed() {
    std::string file, alias2, alias3;
    try {
        TOptionsAuto options;
        options.Connect();
        const std::int32_t result = options.GetSectionAlias(kArchiveSection, file, alias2, alias3);
        options.Disconnect();
        if (result != 0) {
            std::cerr << "tolver-report: the options server names no payment archive (section \"" << kArchiveSection
                      << "\"); tolver-sample-archive FILE writes one and names it there\n";
            return false;
        }
    } catch (const EOleError& e) {
        if (e.ErrorCode() == REGDB_E_CLASSNOTREG)
            std::cerr << "tolver-report: the options server (Options.OptionsAuto), which names the payment archive, "
                         "is not registered; tolver-regsvr Options.srv registers it\n";
        else
            std::cerr << "tolver-report: the options server, which names the payment archive, failed: " << e.what()
                      << "\n";
        return false;
    }
    if (file.empty()) {
        std::cerr << "tolver-report: the options server's section \"" << kArchiveSection
                  << "\" names no file for the payment archive\n";
        return false;
    }
    return true;
}

// Whether the report holds its payment archive, as the report itself answers: a report
// without one answers all zero, so this says which file it was given and why instead.
bool ArchiveHeld(IReport* report) {
    const auto archive = ComPtr<IReportArchive>::Query(report);
    if (!archive) return true;  // a report that cannot tell
    std::string file, why;
    const HRESULT hr = archive->CheckArchive(&file, &why);
    if (hr == S_OK) return true;
    if (FAILED(hr)) why = HResultText(hr);
    std::error_code ec;
    if (!file.empty() && !std::filesystem::exists(file, ec))
        std::cerr << "tolver-report: the payment archive " << file << " (named by the options server's \""
                  << kArchiveSection << "\") does not exist\n";
    else
        std::cerr << "tolver-report: cannot read the payment archive " << file << ": " << why << "\n";
    return false;
}

// Names on standard error the days the report left out for a column their table lacks.
void SayDaysLeftOut(IReport* report) {
    const auto archive = ComPtr<IReportArchive>::Query(report);
    if (!archive) return;
    const std::string days = archive->DaysLeftOut();
    std::size_t pos = 0;
    while (pos < days.size()) {
        std::size_t end = days.find("\r\n", pos);
        if (end == std::string::npos) end = days.size();
        const std::string line = days.substr(pos, end - pos);
        pos = end + 2;
        // "dd.mm.yyyy table column"
        const std::size_t a = line.find(' '), b = line.rfind(' ');
        if (a == std::string::npos || a == b) continue;
        std::cerr << "tolver-report: the day " << line.substr(0, a) << " is left out: its table "
                  << line.substr(a + 1, b - a - 1) << " has no column " << line.substr(b + 1)
                  << ", which this report reads\n";
    }
}

class TTerminalProgress final : public TComObject<IReportProgress> {
public:
    std::int32_t Progress(IUnknown*, std::int32_t Percent, std::int16_t* Continue) override {
        if (isatty(STDERR_FILENO)) {
            const int p = std::clamp(Percent, 0, 100);
            std::string bar(static_cast<std::size_t>(p) * 40 / 100, '#');
            bar.resize(40, '.');
            std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), p);
            std::fflush(stderr);
            shown_ = true;
        }
        if (interrupted) {
            *Continue = 0;
            stopped_ = true;
        }
        return 0;
    }
    void Done() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", 48, "");
        shown_ = false;
    }
    // Whether it answered stop.
    bool Stopped() const { return stopped_; }

private:
    bool shown_ = false;
    bool stopped_ = false;
};

// Writes the text with the markers drawn: rule lines as rules, column breaks as gaps,
// header lines bold on a terminal; line by line, so that a long report is not held
// twice.
void Draw(const std::string& text) {
    const bool tty = isatty(STDOUT_FILENO);
    std::string drawn;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        const bool last = end == std::string::npos;
        std::string_view line(text.data() + pos, (last ? text.size() : end) - pos);
        pos = last ? text.size() : end + 2;
        bool header = false;
        if (!line.empty() && line[0] == kRuleLine) {
            line.remove_prefix(1);
        } else if (!line.empty() && line[0] == kHeaderLine) {
            line.remove_prefix(1);
            header = tty;
        }
        drawn.assign(line);
        for (char& c : drawn)
            if (c == kColumnBreak) c = ' ';
        if (header) std::fputs("\033[1m", stdout);
        std::fwrite(drawn.data(), 1, drawn.size(), stdout);
        std::fputs(header ? "\033[0m\n" : "\n", stdout);
    }
}

bool FindClass(const std::string& name, GUID& clsid) {
    if (TryStringToGUID(name, clsid)) return true;
    return SUCCEEDED(CLSIDFromProgID(name, &clsid));
}

int List() {
    ComPtr<ICatInformation> info;
    OleCheck(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, ICatInformation::IID,
                              reinterpret_cast<void**>(info.put())));
    std::vector<GUID> classes;
    OleCheck(info->EnumClassesOfCategories(1, &CATID_Reports, &classes));
    std::string category;
    info->GetCategoryDesc(CATID_Reports, kReportsCategoryLcid, &category);
    std::cout << "Category " << GUIDToString(CATID_Reports) << " \"" << category << "\": " << classes.size()
              << " report(s)\n";
    TRegistry reg(HKEY_CLASSES_ROOT);
    for (const GUID& c : classes) {
        const std::string key = "\\CLSID\\" + GUIDToString(c);
        std::string description, progId;
        if (reg.OpenKey(key, false)) description = reg.ReadString("");
        if (reg.OpenKey(key + "\\ProgID", false)) progId = reg.ReadString("");
        std::cout << "  " << GUIDToString(c) << "  " << progId << "  " << description << "\n";
    }
    return 0;
}

}  // namespace

// The command line: the options and the words of the request.
struct CommandLine {
    std::string title, properties;
    bool raw = false;
    std::vector<std::string> words;
};

// The steps below answer an exit code, or kGoOn when the next step follows.
constexpr int kGoOn = -1;

int ParseCommandLine(const std::vector<std::string>& args, CommandLine& line) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--title" || args[i] == "--properties") {
            if (i + 1 >= args.size()) return Refuse(args[i] + " needs a value (tolver-report --help)");
            (args[i] == "--title" ? line.title : line.properties) = args[i + 1];
            ++i;
        } else if (args[i] == "--raw")
            line.raw = true;
        else if (args[i] == "--help" || args[i] == "-h")
            return Usage(std::cout, 0);
        else if (args[i].starts_with("--"))
            return Refuse("unknown option " + args[i] + " (tolver-report --help lists them)");
        else
            line.words.push_back(args[i]);
    }
    return kGoOn;
}

// The request's dates, shift and operator from its words, named before anything runs.
struct Request {
    THostPeriod period;
    THostShift shift;
    THostOperator op;
};

int ParseRequest(const std::string& command, const std::vector<std::string>& words, Request& r) {
    double& from = r.period.DateFrom;
    double& to = r.period.DateTo;
    if (command == "period" || command == "names") {
        if (words.size() != 4) return Usage();
        if (!DateArgument("FROM", words[2], false, from) || !DateArgument("TO", words[3], true, to)) return 2;
    } else if (command == "shift") {
        if (words.size() != 5) return Usage();
        if (!DateArgument("START", words[2], false, r.shift.Start) || !DateArgument("END", words[3], true, r.shift.End))
            return 2;
        r.shift.OperatorName = words[4];
    } else if (command == "operator") {
        if (words.size() < 7 || words.size() % 2 == 0) return Usage();
        if (!DateArgument("FROM", words[2], false, from) || !DateArgument("TO", words[3], true, to)) return 2;
        r.op.Name = words[4];
        for (std::size_t i = 5; i + 1 < words.size(); i += 2) {
            THostShift s;
            if (!DateArgument("START", words[i], false, s.Start) || !DateArgument("END", words[i + 1], true, s.End))
                return 2;
            s.OperatorName = r.op.Name;
            r.op.Shifts.push_back(s);
        }
    } else {
        return Usage();
    }
    return kGoOn;
}

// The report object of the class named, with the properties given ("a;b" for lines).
int OpenReport(const std::string& command, const std::string& className, std::string properties,
               ComPtr<IReport>& report, ComPtr<IReportProperties>& props) {
    GUID clsid;
    if (!FindClass(className, clsid)) {
        std::cerr << "tolver-report: no report class " << className << " is registered\n";
        return 1;
    }
    OleCheck(CoCreateInstance(clsid, nullptr, IReport::IID, reinterpret_cast<void**>(report.put())));
    props = report.query<IReportProperties>();
    if (command == "names" && !props) {
        std::cerr << "tolver-report: this report has no payment names\n";
        return 1;
    }
    if (!properties.empty()) {
        if (!props) {
            std::cerr << "tolver-report: this report has no properties\n";
            return 1;
        }
        for (char& c : properties)
            if (c == ';') c = '\n';
        props->SetProperties(properties);
    }
    return kGoOn;
}

// Builds the report with progress on the terminal and Ctrl-C stopping it, then prints it.
int BuildAndPrint(const std::string& command, const CommandLine& line, Request& r, ComPtr<IReport>& report,
                  IReportProperties* props) {
    ComPtr<TTerminalProgress> sink(new TTerminalProgress());
    const auto connection = report.query<IReportConnection>();
    if (connection) OleCheck(connection->Advise(static_cast<IReportProgress*>(sink.get())));
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, nullptr);
    if (!ArchiveHeld(report.get())) {
        sink->Done();
        return interrupted ? 130 : 1;
    }

    ClearErrorInfo();
    const double from = r.period.DateFrom, to = r.period.DateTo;
    std::string text;
    if (command == "names")
        text = props->ListNames(from, to);
    else if (command == "period")
        text = report->PeriodReport(from, to, line.title);
    else if (command == "shift")
        text = report->ShiftReport(&r.shift, line.title);
    else
        text = report->OperatorReport(from, to, &r.op, line.title);
    std::string failure;
    const bool failed = TakeErrorInfo(kReportFailed, failure);
    sink->Done();
    SayDaysLeftOut(report.get());

    // From here Ctrl-C stops the program as it always does.
    sa.sa_handler = SIG_DFL;
    sigaction(SIGINT, &sa, nullptr);
    if (connection) connection->Unadvise(static_cast<IReportProgress*>(sink.get()));
    if (interrupted && !sink->Stopped()) {
        // Too late to stop the report: the user still asked to stop.
        std::cerr << "tolver-report: stopped by Ctrl-C\n";
        return 130;
    }
    if (line.raw)
        std::fwrite(text.data(), 1, text.size(), stdout);
    else
        Draw(text);
    std::fflush(stdout);
    if (sink->Stopped()) {
        std::cerr << (command == "names"
                          ? "tolver-report: stopped by Ctrl-C; the list holds the names of the days read before it\n"
                          : "tolver-report: stopped by Ctrl-C; the report was not finished and holds no rows\n");
        return 130;
    }
    if (failed) {
        std::cerr << "tolver-report: the report could not be built: " << failure << "\n";
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    CommandLine line;
    if (const int rc = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line); rc != kGoOn) return rc;
    const std::vector<std::string>& words = line.words;
    const std::string command = words.empty() ? "" : words[0];
    // A mistyped store would be made afresh, empty, and then hold no report.
    if (const char* store = std::getenv("TOLVER_REGISTRY"); store && *store) {
        std::error_code ec;
        if (!std::filesystem::exists(store, ec)) {
            std::cerr << "tolver-report: the registry store " << store
                      << " (TOLVER_REGISTRY) does not exist; tolver-regsvr makes it when it registers a module\n";
            return 1;
        }
    }
    try {
        if (command == "list") return words.size() == 1 ? List() : Usage();
        Request request;
        if (const int rc = ParseRequest(command, words, request); rc != kGoOn) return rc;
        ComPtr<IReport> report;
        ComPtr<IReportProperties> props;
        if (const int rc = OpenReport(command, words[1], line.properties, report, props); rc != kGoOn) return rc;
        if (!ArchiveNamed()) return 1;
        return BuildAndPrint(command, line, request, report, props.get());
    } catch (const std::exception& e) {
        std::cerr << "tolver-report: " << e.what() << "\n";
        return 1;
    }
}
