#include "drivers/contract/sorbel_tlb.h"

namespace tolver {

const InterfaceInfo& ICashDriverAuto::TypeInfo() {
    using I = ICashDriverAuto;
    static const InterfaceInfo info(
        "ICashDriverAuto", IID, InterfaceKind::Dual, "Dispatch interface for CashDriverAuto Object",
        {
            Get<&I::get_PropertiesForm>("PropertiesForm", 1, 7),
            Get<&I::get_InfoForm>("InfoForm", 2, 8),
            Get<&I::get_Properties>("Properties", 3, 9),
            Put<&I::set_Properties>("Properties", 3, 10),
            Method<&I::Init>("Init", 4, 11, "CashDriverProperties", "Cause", "Value").ResultAs(VT_HRESULT),
            Method<&I::Done>("Done", 5, 12),
            Get<&I::get_ComNumber>("ComNumber", 6, 13),
            Put<&I::set_ComNumber>("ComNumber", 6, 14),
            Get<&I::get_Baud>("Baud", 7, 15),
            Put<&I::set_Baud>("Baud", 7, 16),
            Get<&I::get_AdvProperties>("AdvProperties", 8, 17),
            Put<&I::set_AdvProperties>("AdvProperties", 8, 18),
            Get<&I::get_AdvPropertiesForm>("AdvPropertiesForm", 9, 19),
            Get<&I::get_ProgramItems>("ProgramItems", 10, 20),
            Get<&I::get_XReportItems>("XReportItems", 11, 21),
            Get<&I::get_ZReportItems>("ZReportItems", 12, 22),
            Method<&I::GetXReport>("GetXReport", 13, 23, "Items", "Value").ResultAs(VT_HRESULT),
            Method<&I::GetZReport>("GetZReport", 14, 24, "Items", "Value").ResultAs(VT_HRESULT),
            Method<&I::GetProgram>("GetProgram", 15, 25, "Items", "Value").ResultAs(VT_HRESULT),
            Put<&I::set_SpoolerSetup>("SpoolerSetup", 16, 26),
            Method<&I::AddPayDep>("AddPayDep", 17, 27, "Name", "Count", "SumWithoutNDS", "Sum", "NDep", "Value")
                .ResultAs(VT_HRESULT),
            Method<&I::AddPayArt>("AddPayArt", 21, 28, "Count", "SumWithoutNDS", "Sum", "NArt", "Value")
                .ResultAs(VT_HRESULT),
            Method<&I::AddCash>("AddCash", 24, 29, "Sum", "PayType", "Info", "Value").ResultAs(VT_HRESULT),
            Method<&I::CloseCheck>("CloseCheck", 25, 30, "Sum", "PayType", "Value").ResultAs(VT_HRESULT),
            Method<&I::RegOp>("RegOp", 26, 31, "NOp", "NameOp", "Password", "Value").ResultAs(VT_HRESULT),
            Method<&I::UnRegOp>("UnRegOp", 27, 32, "Value").ResultAs(VT_HRESULT),
            Get<&I::get_InInteraction>("InInteraction", 28, 33),
            Get<&I::get_ID>("ID", 29, 34),
            Method<&I::AddInfo>("AddInfo", 33, 35, "Value", "Value1").ResultAs(VT_HRESULT),
            Method<&I::Restore>("Restore", 30, 36, "Value").ResultAs(VT_HRESULT),
            Method<&I::Terminate>("Terminate", 31, 37, "Value").ResultAs(VT_HRESULT),
            Get<&I::get_EventIID>("EventIID", 32, 38),
            Get<&I::get_Constraints>("Constraints", 34, 39),
            Method<&I::ReturnCash>("ReturnCash", 18, 40, "Sum", "PayType", "Info", "Value").ResultAs(VT_HRESULT),
            Method<&I::DelPayDep>("DelPayDep", 19, 41, "SumWithoutNDS", "Sum", "NDep", "Value").ResultAs(VT_HRESULT),
            Method<&I::DelPayArt>("DelPayArt", 22, 42, "SumWithoutNDS", "Sum", "NArt", "Value").ResultAs(VT_HRESULT),
            Get<&I::get_TrashID>("TrashID", 23, 43),
            Method<&I::OpenCheck>("OpenCheck", 20, 44, "Info", "Value").ResultAs(VT_HRESULT),
            Method<&I::ProgramAfterReg>("ProgramAfterReg", 35, 45, "Param", "Value").ResultAs(VT_HRESULT),
            Method<&I::SetArt>("SetArt", 36, 46, "NArt", "NDep", "NTax", "Price", "Description", "Return", "Value")
                .ResultAs(VT_HRESULT),
            Get<&I::get_BeginMsg>("BeginMsg", 37, 47),
            Get<&I::get_CashModelDescription>("CashModelDescription", 38, 48),
        });
    return info;
}

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

const TypeLibInfo& SorbelTypeLibrary() {
    static const TypeLibInfo lib{
        .name = "Sorbel",
        .help = "Sorbel Library",
        .libid = LIBID_Sorbel,
        .major = 1,
        .minor = 0,
        .lcid = 1033,
        .interfaces = {&ICashDriverAuto::TypeInfo(), &ICashDriverAutoEvents::TypeInfo()},
        .coclasses = {{"CashDriverAuto", CLSID_CashDriverAuto, "CashDriverAuto Object", &ICashDriverAuto::TypeInfo(),
                       &ICashDriverAutoEvents::TypeInfo()}},
        .enums = {&TPayTypeInfo()},
    };
    return lib;
}

}  // namespace tolver
