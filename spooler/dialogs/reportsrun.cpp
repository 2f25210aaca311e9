#include "spooler/dialogs/reportsrun.h"

#include "spooler/dialogs/dialoghost.h"
#include "spooler/dialogs/itemlists.h"
#include "spooler/spoolermessage.h"

namespace tolver {

namespace {

// Closes an open receipt, then hands the picks to the driver; failures are swallowed.
template <class Send>
void SendPicks(TDialogHost& host, Send send) {
    try {
        host.CloseReceiptFirst();
        send();
    } catch (...) {
    }
}

void RunList(TDialogHost& host, const TMarkedRows& rows, bool confirm, const char* question,
             void (TDialogHost::*send)(const std::string&)) {
    const std::string items = PicksToText(rows.Marks);
    if (items.empty()) return;
    if (confirm) {
        std::string display;
        for (std::size_t i = 0; i < rows.Marks.size() && i < rows.Names.size(); ++i)
            if (rows.Marks[i]) display += "  -" + rows.Names[i] + "\r\n";
        if (ShowSpoolerMessage(question + display, kTitleConfirm, true) != 0) return;
    }
    SendPicks(host, [&] { (host.*send)(items); });
}

}  // namespace

void RunReports(TDialogHost& host, const TMarkedRows& x, const TMarkedRows& z) {
    const TSpoolerSetup& setup = host.Setup();
    RunList(host, x, setup.ConfirmXReport, "Вы уверены, что хотите выполнить следующие текущие Х-отчеты?\r\n",
            &TDialogHost::GetXReport);
    RunList(host, z, host.Setup().ConfirmZReport, "Вы уверены, что хотите выполнить следующие обнуляющие Z-отчеты?\r\n",
            &TDialogHost::GetZReport);
}

void RunProgram(TDialogHost& host, const std::vector<bool>& marks) {
    const std::string items = PicksToText(marks);
    if (!items.empty()) SendPicks(host, [&] { host.GetProgram(items); });
}

}  // namespace tolver
