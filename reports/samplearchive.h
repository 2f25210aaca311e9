#pragma once
// Writing payment archives: the day tables of the reports' archive (see
// paymentarchive.h), for the sample archive of a new installation, the tests and the
// benchmarks.

#include <cstdint>
#include <string>
#include <vector>

#include "reports/paymentarchive.h"

namespace tolver {

struct ArchiveRow {
    std::int32_t TimeMs = 0;
    std::string Description;
    bool DescriptionNull = false;
    std::string Info;
    double Count = 1;
    Currency Sum;
    Currency SumWithoutNDS;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
};

class TArchiveWriter {
public:
    // Creates the file when needed; raises on failure.
    explicit TArchiveWriter(const std::string& fileName);
    ~TArchiveWriter();
    TArchiveWriter(const TArchiveWriter&) = delete;
    TArchiveWriter& operator=(const TArchiveWriter&) = delete;

    // Creates the day's table (replacing one that is there) and writes its rows.
    void WriteDay(double day, const std::vector<ArchiveRow>& rows);

private:
    void Exec(const std::string& sql);
    struct sqlite3* db_ = nullptr;
};

// A day of a busy payment office: an opening deposit, `payments` payments (utility
// bills, phone top-ups, goods by article and department) spread over 08:00-20:00,
// a few service deposits and withdrawals, and the collection at the end. The same
// seed gives the same day.
std::vector<ArchiveRow> SampleDay(int payments, std::uint32_t seed);

}  // namespace tolver
