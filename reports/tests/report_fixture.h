#pragma once
// A payment archive of the test's own, answered by the options server stand-in
// (registered in the process's class table) from a temporary registry store.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/com/cocreate.h"
#include "platform/com/comserv.h"
#include "platform/registry/temp_registry.h"
#include "reports/options.h"
#include "reports/reportintf.h"
#include "reports/samplearchive.h"

namespace tolver::testutil {

// A row at "hh:mm[:ss]" with an amount in decimal text ("12.50").
inline ArchiveRow Pay(const char* time, std::string description, std::string sum, double count = 1,
                      std::int32_t nart = 0, std::int32_t ndep = 0, std::string info = {}) {
    int h = 0, m = 0, s = 0;
    std::sscanf(time, "%d:%d:%d", &h, &m, &s);
    ArchiveRow r;
    r.TimeMs = (h * 3600 + m * 60 + s) * 1000;
    r.Description = std::move(description);
    r.Info = std::move(info);
    r.Count = count;
    r.Sum = Currency::Parse(sum);
    r.NArt = nart;
    r.NDep = ndep;
    return r;
}

// A progress sink that records what it is told and answers stop from a given call on.
class TRecordingSink final : public TComObject<IReportProgress> {
public:
    std::vector<int> percents;
    int stopAt = -1;  // the call (from 0) that first answers stop; -1: never
    std::function<void()> during;
    std::int32_t Progress(IUnknown*, std::int32_t Percent, std::int16_t* Continue) override {
        if (during) during();
        if (stopAt >= 0 && static_cast<int>(percents.size()) >= stopAt) *Continue = 0;
        percents.push_back(Percent);
        return 0;
    }
};

class ReportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        archive = (registry.dir() / "archive.db").string();
        stateDir = (registry.dir() / "state").string();
        ::setenv("TOLVER_STATE_DIR", stateDir.c_str(), 1);
        static const ComClass options{.clsid = CLSID_OptionsAuto,
                                      .progId = "Options.OptionsAuto",
                                      .description = "OptionsAuto Object",
                                      .create = &CreateObjectOf<TOptionsStandIn>};
        static TComClassFactory factory(options);
        ASSERT_EQ(CoRegisterClassObject(CLSID_OptionsAuto, &factory, &cookie), S_OK);
        TOptionsStandIn::WriteSection("Архивы", archive);
    }
    void TearDown() override {
        CoRevokeClassObject(cookie);
        ::unsetenv("TOLVER_STATE_DIR");
    }

    // Day numbers of 2026-03-01 onwards.
    static double Day(int n) { return EncodeDate(2026, 3, 1) + n; }
    static double At(int n, int h, int m, int s = 0) { return Day(n) + EncodeTime(h, m, s); }

    void WriteDay(int n, const std::vector<ArchiveRow>& rows) { TArchiveWriter(archive).WriteDay(Day(n), rows); }

    TempRegistry registry;
    std::string archive;
    std::string stateDir;
    std::uint32_t cookie = 0;
};

// The lines of a report text (split at CR LF); a last line without CR LF is kept
// with a "<no CR LF>" mark.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Markers written visibly, for expected texts: \x05 as "<R>", \x06 as "|", \x07 as "<H>".
inline std::string Visible(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '\x05')
            out += "<R>";
        else if (c == '\x06')
            out += "|";
        else if (c == '\x07')
            out += "<H>";
        else
            out += c;
    }
    return out;
}

inline void ExpectLines(const std::string& text, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
        const std::string got = i < lines.size() ? Visible(lines[i]) : "<missing>";
        const std::string want = i < expected.size() ? expected[i] : "<none>";
        EXPECT_EQ(got, want) << "line " << i + 1;
    }
}

}  // namespace tolver::testutil
