#pragma once
// Running the register's reports and programming positions that the operator marked:
// the picks go to the driver as 0-based positions each followed by ";", after the
// configured confirmation, with an open receipt closed first.

#include <string>
#include <vector>

namespace tolver {

class TDialogHost;

// One list of the reports window: the row captions and their marks.
struct TMarkedRows {
    std::vector<std::string> Names;
    std::vector<bool> Marks;
};

// The X reports, then the Z reports; each list after its own question when the
// live setup asks for one. Driver failures are swallowed.
void RunReports(TDialogHost& host, const TMarkedRows& x, const TMarkedRows& z);
// The marked programming positions, without a question.
void RunProgram(TDialogHost& host, const std::vector<bool>& marks);

}  // namespace tolver
