// tolver-report: a report host on the terminal. It lists the reports of the reports
// component category and runs one of them by period, shift or operator, showing the
// progress and stopping cleanly on Ctrl-C.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/com/cocreate.h"
#include "platform/com/comcat.h"
#include "platform/registry/registry.h"
#include "reports/report.h"
#include "reports/reportintf.h"

using namespace tolver;

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

int Usage() {
    std::cerr <<
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
        "The registry store is " << RegistryPath() << " (TOLVER_REGISTRY).\n";
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
        if (interrupted) *Continue = 0;
        return 0;
    }
    void Done() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", 48, "");
    }

private:
    bool shown_ = false;
};

// The text with the markers drawn: rule lines as rules, column breaks as gaps, header
// lines bold on a terminal.
std::string Draw(const std::string& text) {
    const bool tty = isatty(STDOUT_FILENO);
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        const bool last = end == std::string::npos;
        std::string line = text.substr(pos, last ? std::string::npos : end - pos);
        pos = last ? text.size() : end + 2;
        bool header = false;
        if (!line.empty() && line[0] == kRuleLine) {
            line.erase(0, 1);
        } else if (!line.empty() && line[0] == kHeaderLine) {
            line.erase(0, 1);
            header = tty;
        }
        std::string drawn;
        for (char c : line) drawn += c == kColumnBreak ? std::string(" ") : std::string(1, c);
        out += header ? "\033[1m" + drawn + "\033[0m\n" : drawn + "\n";
    }
    return out;
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

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string title, properties;
    bool raw = false;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--title" && i + 1 < args.size())
            title = args[++i];
        else if (args[i] == "--properties" && i + 1 < args.size())
            properties = args[++i];
        else if (args[i] == "--raw")
            raw = true;
        else if (args[i].starts_with("--"))
            return Usage();
        else
            words.push_back(args[i]);
    }
    const std::string command = words.empty() ? "" : words[0];
    try {
        if (command == "list") return words.size() == 1 ? List() : Usage();
        if (words.size() < 4) return Usage();
        GUID clsid;
        if (!FindClass(words[1], clsid)) {
            std::cerr << "tolver-report: no report class " << words[1] << " is registered\n";
            return 1;
        }
        ComPtr<IReport> report;
        OleCheck(CoCreateInstance(clsid, nullptr, IReport::IID, reinterpret_cast<void**>(report.put())));
        const auto props = report.query<IReportProperties>();
        if (!properties.empty()) {
            if (!props) {
                std::cerr << "tolver-report: this report has no properties\n";
                return 1;
            }
            for (char& c : properties)
                if (c == ';') c = '\n';
            props->SetProperties(properties);
        }
        ComPtr<TTerminalProgress> sink(new TTerminalProgress());
        const auto connection = report.query<IReportConnection>();
        if (connection) OleCheck(connection->Advise(static_cast<IReportProgress*>(sink.get())));
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigaction(SIGINT, &sa, nullptr);

        std::string text;
        THostPeriod period;
        double& from = period.DateFrom;
        double& to = period.DateTo;
        if (command == "period" || command == "names") {
            if (words.size() != 4 || !ParseDate(words[2], false, from) || !ParseDate(words[3], true, to))
                return Usage();
            if (command == "names") {
                if (!props) {
                    std::cerr << "tolver-report: this report has no payment names\n";
                    return 1;
                }
                text = props->ListNames(from, to);
            } else {
                text = report->PeriodReport(from, to, title);
            }
        } else if (command == "shift") {
            THostShift shift;
            if (words.size() != 5 || !ParseDate(words[2], false, shift.Start) || !ParseDate(words[3], true, shift.End))
                return Usage();
            shift.OperatorName = words[4];
            text = report->ShiftReport(&shift, title);
        } else if (command == "operator") {
            THostOperator op;
            if (words.size() < 7 || words.size() % 2 == 0 || !ParseDate(words[2], false, from) ||
                !ParseDate(words[3], true, to))
                return Usage();
            op.Name = words[4];
            for (std::size_t i = 5; i + 1 < words.size(); i += 2) {
                THostShift s;
                if (!ParseDate(words[i], false, s.Start) || !ParseDate(words[i + 1], true, s.End)) return Usage();
                s.OperatorName = op.Name;
                op.Shifts.push_back(s);
            }
            text = report->OperatorReport(from, to, &op, title);
        } else {
            return Usage();
        }
        sink->Done();
        if (connection) connection->Unadvise(static_cast<IReportProgress*>(sink.get()));
        if (interrupted) std::cerr << "tolver-report: stopped by Ctrl-C; the report was not finished and shows its header only\n";
        if (raw)
            std::cout << text;
        else
            std::cout << Draw(text);
        std::cout.flush();
        return interrupted ? 130 : 0;
    } catch (const std::exception& e) {
        std::cerr << "tolver-report: " << e.what() << "\n";
        return 1;
    }
}
