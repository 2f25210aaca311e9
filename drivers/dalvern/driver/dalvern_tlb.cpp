#include "drivers/dalvern/driver/dalvern_tlb.h"

namespace tolver {

const InterfaceInfo& IRegFisc2160CashDriverAuto::TypeInfo() {
    static const InterfaceInfo info("IRegFisc2160CashDriverAuto", IID,
                                    "Dispatch interface for RegFisc2160CashDriverAuto Object",
                                    ICashDriverAuto::TypeInfo());
    return info;
}

const InterfaceInfo& IRegFisc2160CashDriverAutoEvents::TypeInfo() {
    static const InterfaceInfo info("IRegFisc2160CashDriverAutoEvents", IID,
                                    "Events interface for RegFisc2160CashDriverAuto Object",
                                    ICashDriverAutoEvents::TypeInfo());
    return info;
}

namespace {

const EnumInfo& PayTypeInfo() {
    static const EnumInfo info{"TPayType", GUID_DalvernTPayType, TPayTypeInfo().values};
    return info;
}

}  // namespace

const TypeLibInfo& DalvernTypeLibrary() {
    static const TypeLibInfo lib{
        .name = "Dalvern",
        .help = "Dalvern Library",
        .libid = LIBID_Dalvern,
        .major = 1,
        .minor = 0,
        .lcid = 1033,
        .interfaces = {&IRegFisc2160CashDriverAuto::TypeInfo(), &IRegFisc2160CashDriverAutoEvents::TypeInfo()},
        .coclasses = {{"RegFisc2160CashDriverAuto", CLSID_RegFisc2160CashDriverAuto,
                       "RegFisc2160CashDriverAuto Object", &IRegFisc2160CashDriverAuto::TypeInfo(),
                       &IRegFisc2160CashDriverAutoEvents::TypeInfo()}},
        .enums = {&PayTypeInfo()},
    };
    return lib;
}

}  // namespace tolver
