#include "drivers/contract/sorbel_tlb.h"

namespace tolver {

const InterfaceInfo& ICashDriverAutoEvents::TypeInfo() {
    const auto text = [] { return std::vector<ParamInfo>{{"Text", VT_BSTR}}; };
    static const InterfaceInfo info("ICashDriverAutoEvents", IID, InterfaceKind::DispatchOnly,
                                    "Events interface for CashDriverAuto Object",
                                    {
                                        Event("OnProtocolLog", OnProtocolLog, text()),
                                        Event("OnProtocolInfo", OnProtocolInfo, text()),
                                        Event("OnProtocolError", OnProtocolError, text()),
                                        Event("OnProtocolQuery", OnProtocolQuery, text()),
                                        Event("OnPrint", OnPrint, {{"Char", VT_I4}}),
                                        Event("OnCommandResult", OnCommandResult,
                                              {{"CommandID", VT_I4}, {"CommandResult", VT_I4}}),
                                        Event("OnModelChange", OnModelChange),
                                    });
    return info;
}

const EnumInfo& TPayTypeInfo() {
    static const EnumInfo info{"TPayType", GUID_TPayType, {{"Cash", 0}, {"Check", 1}, {"Credit", 2}}};
    return info;
}

}  // namespace tolver
