#include "drivers/sorbel/driver/sorbel_typelib.h"

namespace tolver {

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
