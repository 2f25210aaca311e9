#pragma once
// The driver contract: type library "Sorbel" with the dual interface
// ICashDriverAuto that every cash-register driver answers, the events that a
// driver raises (by the DISPIDs of ICashDriverAutoEvents), the creatable class
// CashDriverAuto and the payment types.
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

inline constexpr GUID LIBID_Sorbel = MakeGUID("{849C7020-B964-11D4-8407-00104B205A89}");
inline constexpr GUID CLSID_CashDriverAuto = MakeGUID("{849C7025-B964-11D4-8407-00104B205A89}");
inline constexpr GUID GUID_TPayType = MakeGUID("{FDD1F781-67E7-11D5-8410-00104B205A89}");

enum class TPayType : std::int32_t { Cash = 0, Check = 1, Credit = 2 };
inline const char* AutomationTypeName(TPayType) { return "TPayType"; }

// Slots 7 to 48 (0 to 6 are IDispatch's). Integer results of the operations are
// declared in the type library as VT_HRESULT; they carry ordinary integers.
class ICashDriverAuto : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{849C7021-B964-11D4-8407-00104B205A89}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

    virtual HRESULT get_PropertiesForm(std::int32_t* Value) = 0;  // 7, DISPID 1
    virtual HRESULT get_InfoForm(std::int32_t* Value) = 0;        // 8, DISPID 2
    virtual HRESULT get_Properties(Variant* Value) = 0;           // 9, DISPID 3
    virtual HRESULT set_Properties(const Variant& Value) = 0;     // 10
    virtual HRESULT Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) = 0;  // 11, 4
    virtual HRESULT Done() = 0;                                       // 12, DISPID 5
    virtual HRESULT get_ComNumber(std::uint8_t* Value) = 0;           // 13, DISPID 6
    virtual HRESULT set_ComNumber(std::uint8_t Value) = 0;            // 14
    virtual HRESULT get_Baud(std::int32_t* Value) = 0;                // 15, DISPID 7
    virtual HRESULT set_Baud(std::int32_t Value) = 0;                 // 16
    virtual HRESULT get_AdvProperties(Variant* Value) = 0;            // 17, DISPID 8
    virtual HRESULT set_AdvProperties(const Variant& Value) = 0;      // 18
    virtual HRESULT get_AdvPropertiesForm(std::int32_t* Value) = 0;   // 19, DISPID 9
    virtual HRESULT get_ProgramItems(std::string* Value) = 0;         // 20, DISPID 10
    virtual HRESULT get_XReportItems(std::string* Value) = 0;         // 21, DISPID 11
    virtual HRESULT get_ZReportItems(std::string* Value) = 0;         // 22, DISPID 12
    virtual HRESULT GetXReport(const std::string& Items, std::int32_t* Value) = 0;  // 23, DISPID 13
    virtual HRESULT GetZReport(const std::string& Items, std::int32_t* Value) = 0;  // 24, DISPID 14
    virtual HRESULT GetProgram(const std::string& Items, std::int32_t* Value) = 0;  // 25, DISPID 15
    virtual HRESULT set_SpoolerSetup(const Variant& Value) = 0;                      // 26, DISPID 16
    virtual HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                              std::int32_t NDep, std::int32_t* Value) = 0;  // 27, DISPID 17
    virtual HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                              std::int32_t* Value) = 0;  // 28, DISPID 21
    virtual HRESULT AddCash(Currency Sum, TPayType PayType, const std::string& Info,
                            std::int32_t* Value) = 0;                                // 29, DISPID 24
    virtual HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) = 0;  // 30, DISPID 25
    virtual HRESULT RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password,
                          std::int32_t* Value) = 0;                                  // 31, DISPID 26
    virtual HRESULT UnRegOp(std::int32_t* Value) = 0;                                // 32, DISPID 27
    virtual HRESULT get_InInteraction(bool* Value) = 0;                              // 33, DISPID 28
    virtual HRESULT get_ID(std::string* Value) = 0;                                  // 34, DISPID 29
    virtual HRESULT AddInfo(const std::string& Value, std::int32_t* Value1) = 0;     // 35, DISPID 33
    virtual HRESULT Restore(std::int32_t* Value) = 0;                                // 36, DISPID 30
    virtual HRESULT Terminate(std::int32_t* Value) = 0;                              // 37, DISPID 31
    virtual HRESULT get_EventIID(std::string* Value) = 0;                            // 38, DISPID 32
    virtual HRESULT get_Constraints(Variant* Value) = 0;                             // 39, DISPID 34
    virtual HRESULT ReturnCash(Currency Sum, TPayType PayType, const std::string& Info,
                               std::int32_t* Value) = 0;  // 40, DISPID 18
    virtual HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                              std::int32_t* Value) = 0;  // 41, DISPID 19
    virtual HRESULT DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                              std::int32_t* Value) = 0;                                  // 42, DISPID 22
    virtual HRESULT get_TrashID(std::string* Value) = 0;                                 // 43, DISPID 23
    virtual HRESULT OpenCheck(const std::string& Info, std::int32_t* Value) = 0;         // 44, DISPID 20
    virtual HRESULT ProgramAfterReg(const std::string& Param, std::int32_t* Value) = 0;  // 45, DISPID 35
    virtual HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                           const std::string& Description, bool Return, std::int32_t* Value) = 0;  // 46, DISPID 36
    virtual HRESULT get_BeginMsg(std::string* Value) = 0;              // 47, DISPID 37
    virtual HRESULT get_CashModelDescription(std::string* Value) = 0;  // 48, DISPID 38

protected:
    ~ICashDriverAuto() = default;
};

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
// Version 1.0, locale 1033: ICashDriverAuto, ICashDriverAutoEvents, CashDriverAuto,
// TPayType.
const TypeLibInfo& SorbelTypeLibrary();

}  // namespace tolver
