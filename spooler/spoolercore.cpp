#include "spooler/spoolercore.h"

#include <exception>

#include "spooler/spoolernotice.h"

namespace tolver {

TSpoolerCore::TSpoolerCore(TObjectFactory createObject)
    : binding_(store_.Setup(), std::move(createObject)),
      receipt_(binding_.Driver()),
      cashier_(binding_.Driver(), receipt_, store_.Setup(), [this] { link_.CashierSignedOn(); }),
      log_(store_.Setup(), view_),
      relay_(view_),
      link_(binding_, store_.Setup(), view_, [this] { cashier_.SignOnAgain(); }) {
    BindDriverEvents();
}

// No event may reach a half-destroyed core.
TSpoolerCore::~TSpoolerCore() { DetachDriver(); }

void TSpoolerCore::DetachDriver() {
    binding_.Driver().Events() = {};
    binding_.DisconnectWrapper();
}

void TSpoolerCore::Start() {
    binding_.CreateDriverObject();
    link_.ConnectDriver();
    // A store that cannot be read leaves no driver: the view says why as well.
    const std::string& error = store_.LoadError();
    if (!error.empty()) SpoolerNotice(error);
    view_.Started(error);
}

void TSpoolerCore::Stop() {
    DetachDriver();
    binding_.ReleaseDriverObject();
}

void TSpoolerCore::BindDriverEvents() {
    TDriverEvents& e = binding_.Driver().Events();
    e.OnModelChange = [this] { binding_.ReadConstraints(); };
    e.OnProtocolLog = [this](const std::string& t) { log_.Write(t); };
    e.OnProtocolInfo = [this](const std::string& t) { log_.Write(t); };
    e.OnProtocolError = [this](const std::string& t) { view_.ShowMessage(t, kTitleError, false); };
    e.OnProtocolQuery = [this](const std::string& t) { view_.ShowMessage(t, kTitleQuery, false); };
    e.OnPrint = [this](std::int32_t c) { view_.PrintChar(c); };
    e.OnCommandResult = [this](std::int32_t id, std::int32_t result) {
        link_.CommandCompleted(id);
        receipt_.CommandCompleted(id, result);
        relay_.Queue(id, result);
    };
}

void TSpoolerCore::ApplySettings() {
    store_.SortLists();
    binding_.HandOverSetup();
    store_.SaveSetup();
}

std::string TSpoolerCore::GetBeginMsg() {
    try {
        std::string text = binding_.Driver().Call(&ICashDriverAuto::get_BeginMsg);
        if (!text.empty()) return text;
    } catch (const std::exception&) {
    }
    return LinesToText(store_.Setup().BeginMsg);
}

// ---- the view slot ---------------------------------------------------------------------

void TSpoolerCore::TViewSlot::SetInfo(const std::string& text) {
    if (target) target->SetInfo(text);
}
void TSpoolerCore::TViewSlot::ShowStatus() {
    if (target) target->ShowStatus();
}
void TSpoolerCore::TViewSlot::HideStatus() {
    if (target) target->HideStatus();
}
void TSpoolerCore::TViewSlot::SetMenuFull(bool full) {
    if (target) target->SetMenuFull(full);
}
void TSpoolerCore::TViewSlot::PrintChar(std::int32_t code) {
    if (target) target->PrintChar(code);
}
void TSpoolerCore::TViewSlot::StartCommandResultTimer() {
    if (target) target->StartCommandResultTimer();
}
void TSpoolerCore::TViewSlot::PushDriverProperties() {
    if (target) target->PushDriverProperties();
}
void TSpoolerCore::TViewSlot::PostClose() {
    if (target) target->PostClose();
}
int TSpoolerCore::TViewSlot::ShowMessage(const std::string& text, const std::string& title, bool yesNo) {
    return target ? target->ShowMessage(text, title, yesNo) : -1;
}
void TSpoolerCore::TViewSlot::PostMessage(const std::string& text, const std::string& title) {
    if (target) target->PostMessage(text, title);
}
void TSpoolerCore::TViewSlot::LinkChanged() {
    if (target) target->LinkChanged();
}
void TSpoolerCore::TViewSlot::Started(const std::string& loadError) {
    if (target) target->Started(loadError);
}
void TSpoolerCore::TViewSlot::PostRegDialog(std::function<void(std::int32_t)> done) {
    if (target) target->PostRegDialog(std::move(done));
    else done(-1);
}
void TSpoolerCore::TViewSlot::ShowReports() {
    if (target) target->ShowReports();
}
std::string TSpoolerCore::TViewSlot::DriverInfo() { return target ? target->DriverInfo() : std::string(); }
void TSpoolerCore::TViewSlot::SetControlEnabled(bool enabled) {
    if (target) target->SetControlEnabled(enabled);
}

}  // namespace tolver
