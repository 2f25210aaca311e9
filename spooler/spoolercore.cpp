#include "spooler/spoolercore.h"

#include <exception>

#include "spooler/spoolernotice.h"

namespace tolver {

TSpoolerCore::TSpoolerCore(ISpoolerView& view, TObjectFactory createObject)
    : view_(view),
      binding_(store_.Setup(), std::move(createObject)),
      receipt_(binding_.Driver()),
      cashier_(binding_.Driver(), receipt_, store_.Setup(), [this] { link_.CashierSignedOn(); }),
      log_(store_.Setup(), view),
      relay_(view),
      link_(binding_, store_.Setup(), view, [this] { cashier_.SignOnAgain(); }) {
    BindDriverEvents();
}

TSpoolerCore::~TSpoolerCore() {
    // No event may reach a half-destroyed core.
    binding_.Driver().Events() = {};
    binding_.DisconnectWrapper();
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

}  // namespace tolver
