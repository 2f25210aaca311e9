// tolver-sample-archive FILE [--days N] [--from yyyy-mm-dd] [--payments N] [--no-options]
// Writes a sample payment archive (one table per day) and, unless told not to, makes
// the options server answer it as the archive of the reports.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "platform/registry/registry.h"
#include "platform/variant/variant.h"
#include "reports/options.h"
#include "reports/samplearchive.h"

using namespace tolver;

namespace {

int Usage() {
    std::cerr << "usage: tolver-sample-archive FILE [--days N] [--from yyyy-mm-dd] [--payments N] [--no-options]\n"
                 "Writes N days (default 7, ending today) of about 800 payments a day into the SQLite file\n"
                 "FILE and sets the options server's \"Архивы\" alias to it in the registry store ("
              << RegistryPath() << ").\n";
    return 2;
}

bool ParseInt(const char* s, int lo, int hi, int& out) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string file;
    int days = 7, payments = 800;
    double from = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--days" && more) {
            if (!ParseInt(argv[++i], 1, 3660, days)) return Usage();
        } else if (a == "--payments" && more) {
            if (!ParseInt(argv[++i], 0, 1000000, payments)) return Usage();
        } else if (a == "--from" && more) {
            int y = 0, m = 0, d = 0;
            char tail = 0;
            if (std::sscanf(argv[++i], "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return Usage();
            try {
                from = EncodeDate(y, m, d);
            } catch (...) {
                return Usage();
            }
        } else if (a == "--no-options") {
            options = false;
        } else if (a.starts_with("-") || !file.empty()) {
            return Usage();
        } else {
            file = a;
        }
    }
    if (file.empty()) return Usage();
    if (from == 0) {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        from = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) - (days - 1);
    }
    try {
        std::error_code ec;
        file = std::filesystem::absolute(file, ec).string();
        TArchiveWriter writer(file);
        for (int i = 0; i < days; ++i) {
            const double day = from + i;
            writer.WriteDay(day, SampleDay(payments + (i * 37) % 101, static_cast<std::uint32_t>(day)));
            std::cerr << "\r" << TPaymentArchive::TableName(day) << "  " << (i + 1) << "/" << days << std::flush;
        }
        std::cerr << "\n";
        if (options) {
            TOptionsStandIn::WriteSection(kArchiveSection, file);
            std::cout << "The options server now answers " << file << " as the payment archive.\n";
        }
    } catch (const std::exception& e) {
        std::cerr << "tolver-sample-archive: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
