#pragma once
// The driver contract: the dual interface ICashDriverAuto that every cash-register
// driver answers, the events that a driver raises (by the DISPIDs of
// ICashDriverAutoEvents) and the payment types. A driver's own identity (class,
// library, ProgID) is its own: drivers/sorbel/driver/sorbel_typelib.h for Sorbel.
//
// Conventions of the operations: a queued operation returns at once with a command
// id (counting up from 1 in each driver object), 0 when nothing will be reported, or
// -1 when refused; its outcome arrives later as OnCommandResult(CommandID,
// CommandResult) with 0 for success and -1 for failure. Item lists are entries each
// followed by ";". A failure inside a member reaches the caller as a failing HRESULT
// with its text (Guard).
//
// The EventIID rule: a driver names in EventIID (registry form of a GUID) the
// dispatch interface on which it raises its events; its object has a connection
// point for exactly that identifier; the host dispatches every event by DISPID
// alone, so a driver may declare the events under an identifier of its own as long
// as the DISPIDs and arguments are those of ICashDriverAutoEvents. Every driver
// answers ICashDriverAuto with the slot layout below, besides any interface of its
// own (which derives from ICashDriverAuto to share its method table).
//
// Frames cross as integers: PropertiesForm, AdvPropertiesForm and InfoForm return a
// FrameHandle (platform/com/framehandle.h) of a frame that the driver owns.

#include <cstdint>
#include <string>

#include "platform/com/typeinfo.h"
#include "platform/variant/variant.h"

namespace tolver {

inline constexpr GUID GUID_TPayType = MakeGUID("{FDD1F781-67E7-11D5-8410-00104B205A89}");

enum class TPayType : std::int32_t { Cash = 0, Check = 1, Credit = 2 };
inline const char* AutomationTypeName(TPayType) { return "TPayType"; }

// Slots from 7 (0 to 6 are IDispatch's), in declaration order; each member's slot and
// DISPID are written once, in its row of TypeInfo() below, which is checked against
// the declaration's slot. Integer results of the operations are declared in the type
// library as VT_HRESULT; they carry ordinary integers.
class ICashDriverAuto : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{849C7021-B964-11D4-8407-00104B205A89}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

    virtual HRESULT get_PropertiesForm(std::int32_t* Value) = 0;
    virtual HRESULT get_InfoForm(std::int32_t* Value) = 0;
    virtual HRESULT get_Properties(Variant* Value) = 0;
    virtual HRESULT set_Properties(const Variant& Value) = 0;
    virtual HRESULT Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) = 0;
    virtual HRESULT Done() = 0;
    virtual HRESULT get_ComNumber(std::uint8_t* Value) = 0;
    virtual HRESULT set_ComNumber(std::uint8_t Value) = 0;
    virtual HRESULT get_Baud(std::int32_t* Value) = 0;
    virtual HRESULT set_Baud(std::int32_t Value) = 0;
    virtual HRESULT get_AdvProperties(Variant* Value) = 0;
    virtual HRESULT set_AdvProperties(const Variant& Value) = 0;
    virtual HRESULT get_AdvPropertiesForm(std::int32_t* Value) = 0;
    virtual HRESULT get_ProgramItems(std::string* Value) = 0;
    virtual HRESULT get_XReportItems(std::string* Value) = 0;
    virtual HRESULT get_ZReportItems(std::string* Value) = 0;
    virtual HRESULT GetXReport(const std::string& Items, std::int32_t* Value) = 0;
    virtual HRESULT GetZReport(const std::string& Items, std::int32_t* Value) = 0;
    virtual HRESULT GetProgram(const std::string& Items, std::int32_t* Value) = 0;
    virtual HRESULT set_SpoolerSetup(const Variant& Value) = 0;
    virtual HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                              std::int32_t NDep, std::int32_t* Value) = 0;
    virtual HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                              std::int32_t* Value) = 0;
    virtual HRESULT AddCash(Currency Sum, TPayType PayType, const std::string& Info,
                            std::int32_t* Value) = 0;
    virtual HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) = 0;
    virtual HRESULT RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password,
                          std::int32_t* Value) = 0;
    virtual HRESULT UnRegOp(std::int32_t* Value) = 0;
    virtual HRESULT get_InInteraction(bool* Value) = 0;
    virtual HRESULT get_ID(std::string* Value) = 0;
    virtual HRESULT AddInfo(const std::string& Value, std::int32_t* Value1) = 0;
    virtual HRESULT Restore(std::int32_t* Value) = 0;
    virtual HRESULT Terminate(std::int32_t* Value) = 0;
    virtual HRESULT get_EventIID(std::string* Value) = 0;
    virtual HRESULT get_Constraints(Variant* Value) = 0;
    virtual HRESULT ReturnCash(Currency Sum, TPayType PayType, const std::string& Info,
                               std::int32_t* Value) = 0;
    virtual HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                              std::int32_t* Value) = 0;
    virtual HRESULT DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                              std::int32_t* Value) = 0;
    virtual HRESULT get_TrashID(std::string* Value) = 0;
    virtual HRESULT OpenCheck(const std::string& Info, std::int32_t* Value) = 0;
    virtual HRESULT ProgramAfterReg(const std::string& Param, std::int32_t* Value) = 0;
    virtual HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                           const std::string& Description, bool Return, std::int32_t* Value) = 0;
    virtual HRESULT get_BeginMsg(std::string* Value) = 0;
    virtual HRESULT get_CashModelDescription(std::string* Value) = 0;

protected:
    ~ICashDriverAuto() = default;
};

// Name, DISPID, slot and parameter names of each member, in slot order.
inline const InterfaceInfo& ICashDriverAuto::TypeInfo() {
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

// The events (a dispatch-only interface: a sink answers this identifier, or the one
// a driver names in EventIID, with its IDispatch). Every event returns nothing.
class ICashDriverAutoEvents : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{849C7023-B964-11D4-8407-00104B205A89}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

    // DISPIDs, in declaration order, with their arguments.
    static constexpr DISPID OnProtocolLog = 1;    // Text: text
    static constexpr DISPID OnProtocolInfo = 3;   // Text: text
    static constexpr DISPID OnProtocolError = 2;  // Text: text
    static constexpr DISPID OnProtocolQuery = 5;  // Text: text; the driver waits until it returns
    static constexpr DISPID OnPrint = 4;          // Char: Integer
    static constexpr DISPID OnCommandResult = 6;  // CommandID, CommandResult: Integer
    static constexpr DISPID OnModelChange = 7;    // none

protected:
    ~ICashDriverAutoEvents() = default;
};

const EnumInfo& TPayTypeInfo();

}  // namespace tolver
