#include "spooler/automation/spoolerautomation.h"

#include <cstdio>
#include <string>
#include <vector>

#include "spooler/automation/automationserver.h"
#include "spooler/automation/serverswitches.h"

namespace tolver::spooler {

TSpoolerAutomation::TSpoolerAutomation(TSpoolerCore& core)
    : host_(std::make_unique<CoreHost>(core)), server_(std::make_unique<AutomationServer>(host_.get())) {
    QString error;
    if (server_->Start(&error)) return;
    nameTaken_ = server_->NameTaken();
    if (!nameTaken_) std::fprintf(stderr, "Spooler: no automation server: %s\n", qPrintable(error));
}

TSpoolerAutomation::~TSpoolerAutomation() { Close(); }

void TSpoolerAutomation::Close() {
    if (!server_) return;
    server_->SendPrepareMessage();
    host_->Detach();
    server_.reset();
    host_.reset();
}

int TSpoolerAutomation::HandleCommandLine(const QStringList& args) {
    std::vector<std::string> list;
    for (const QString& a : args) list.push_back(a.toStdString());
    return HandleRegistrationSwitches(ParseServerSwitches(list));
}

}  // namespace tolver::spooler
