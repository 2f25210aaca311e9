// The properties string that the host hands a report: any bytes, and what the report
// gives back reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/testing/fuzz_seeds.h"
#include "reports/vora/vorareport.h"

using namespace tolver;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    testutil::WriteSeedsIfAsked({"3:0:Газ\r\nВода\r\n", "1::a:b", "x:y:\n\r\r\n", "99999999999:-4:"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ComPtr<TVoraReport> report = MakeComObject<TVoraReport>();
    const std::string text(reinterpret_cast<const char*>(data), size);
    report->SetProperties(text);
    const std::string once = report->GetProperties();
    report->SetProperties(once);
    if (report->GetProperties() != once) __builtin_trap();
    report->SetNames(text);
    report->KnownNames.Text();
    return 0;
}
