#pragma once
// The spooler's automation server on the D-Bus session bus, as its clients see it:
// the bus name, the object paths, the interfaces, and the table of every member of
// SpoolAuto and SpoolAuto1 (name, DISPID, arguments in declaration order). The server
// dispatches and introspects from this table; the client library and spoolctl read it
// too. Header only, so that clients need nothing of the spooler linked in.
//
// Argument types: x currency (int64 ten-thousandths), i Integer (TPayType too), d double,
// s text, b Boolean. In/out parameters are both in and out arguments; Value is the last
// out argument. A property is a method of its own name: a getter takes nothing and
// returns Value, a setter takes Value and returns nothing.

#include <span>
#include <string>
#include <string_view>

namespace tolver::spooler::bus {

inline constexpr const char* kServiceName = "org.tolver.Spooler";
inline constexpr const char* kFactoryPath = "/org/tolver/Spooler";
inline constexpr const char* kSpoolAutoPathPrefix = "/org/tolver/Spooler/SpoolAuto/";
inline constexpr const char* kSpoolAuto1PathPrefix = "/org/tolver/Spooler/SpoolAuto1/";

// Factory: CreateSpoolAuto() -> o Object, CreateSpoolAuto1() -> o Object, Release(o Object);
// signal WindowMessage(i Handle, u Msg, i WParam, i LParam) to the client that called
// Prepare, when the spooler closes.
inline constexpr const char* kFactoryInterface = "org.tolver.Spooler.Factory";
inline constexpr const char* kSpoolAutoInterface = "org.tolver.Spooler.ISpoolAuto";
inline constexpr const char* kSpoolAuto1Interface = "org.tolver.Spooler.ISpoolAuto1";
// Advise() -> u Cookie, Unadvise(u Cookie): a sink of the calling client on a SpoolAuto1 object.
inline constexpr const char* kConnectionPointInterface = "org.tolver.Spooler.ConnectionPoint";
// Signal OnCommandResult(i CommandID, i CommandResult), sent to each sink's owner only.
inline constexpr const char* kEventsInterface = "org.tolver.Spooler.ISpoolAuto1Events";
// A failing member answers an error named kErrorPrefix + the HRESULT's eight hex
// digits, whose message is "HRESULT 0x80004005: " and the error's text.
inline constexpr const char* kErrorPrefix = "org.tolver.Spooler.Error.HRESULT_";
// The window message that Prepare asks for: WM_USER + 5.
inline constexpr unsigned kPrepareMessage = 1029;

// What a member does beyond its arguments.
enum MemberFlags : unsigned {
    // Shows a modal dialog and answers when it closes (a client waits without a time-out).
    kModal = 1,
    // Adds to the open receipt (a sale, a cancellation, a text line).
    kJoinsReceipt = 2,
    // Closes an open receipt in cash first (CloseCheck(0, cash)), then does its own work.
    kClosesReceipt = 4,
    // Answers -1 unless a receipt is open and no close has been sent for it.
    kNeedsReceipt = 8,
};

// Arguments as "type:Name" separated by spaces; alias is spoolctl's short name.
struct Member {
    std::string_view name;
    int dispid;
    std::string_view in;
    std::string_view out;
    unsigned flags = 0;
    std::string_view alias = {};
};

inline constexpr Member kSpoolAutoMembers[] = {
    {"CloseCheck", 4, "x:Avans", "", 0, "close"},
    {"AddPayDep", 8, "x:SumWithoutNDS x:NDS x:Sum i:NDep", "", kJoinsReceipt, "sale-dep"},
    {"AddPayArt", 9, "x:SumWithoutNDS x:NDS x:Sum i:NArt", "", kJoinsReceipt, "sale-art"},
    {"Ident", 1, "s:Value", "", kJoinsReceipt},
    {"DriverInfo", 3, "", "s:Value"},
    {"IdentOnce", 2, "s:Value", "", kJoinsReceipt},
    {"AddCash", 5, "x:Sum b:Print", "", 0, "cash-in"},
    {"ReturnCash", 6, "x:Sum b:Print", "", 0, "cash-out"},
    {"GetReports", 7, "", ""},
    {"Reg", 10, "", "", kModal},
    {"ViewPayArch", 12, "", ""},
    {"BlockKeyb", 11, "", ""},
    {"UnBlockKeyb", 13, "", ""},
    {"Prepare", 14, "i:pHandle i:aID", ""},
    {"ID", 16, "", "s:Value"},
    {"AddPayDepName", 17, "s:Name x:SumWithoutNDS x:Sum i:NDep", "", kJoinsReceipt},
    {"CanExit", 15, "s:Info", "s:Info b:Value"},
};

inline constexpr Member kSpoolAuto1Members[] = {
    {"AddPayDep", 7, "s:Name d:Count x:SumWithoutNDS x:Sum i:NDep", "i:Value", kJoinsReceipt, "sale-dep"},
    {"AddPayArt", 11, "d:Count x:SumWithoutNDS x:Sum i:NArt", "i:Value", kJoinsReceipt, "sale-art"},
    {"AddCash", 14, "x:Sum i:PayType s:Info", "i:Value", kClosesReceipt, "cash-in"},
    {"CloseCheck", 15, "x:Sum i:PayType", "i:Value", 0, "close"},
    {"RegOp", 16, "i:NOp s:NameOp s:Password", "i:Value", kClosesReceipt, "sign-on"},
    {"UnRegOp", 17, "", "i:Value", kClosesReceipt, "sign-off"},
    {"InInteraction", 18, "", "b:Value"},
    {"ID", 19, "", "s:Value"},
    {"AddInfo", 20, "s:Text", "i:Value", kJoinsReceipt},
    {"CanExit", 22, "s:Info", "s:Info b:Value"},
    {"GetReportsDialog", 23, "", ""},
    {"GetRegDialog", 24, "", "i:Value", kModal},
    {"ReturnCash", 1, "x:Sum i:PayType s:Info", "i:Value", kClosesReceipt, "cash-out"},
    {"ControlEnabled", 3, "b:Value", ""},
    {"DelPayDep", 2, "x:SumWithoutNDS x:Sum i:NDep", "i:Value", kJoinsReceipt | kNeedsReceipt, "cancel-dep"},
    {"DelPayArt", 4, "x:SumWithoutNDS x:Sum i:NArt", "i:Value", kJoinsReceipt | kNeedsReceipt, "cancel-art"},
    {"XReportItems", 5, "", "s:Value"},
    {"ZReportItems", 6, "", "s:Value"},
    {"GetXReport", 8, "s:Items", "i:Value", kClosesReceipt},
    {"GetZReport", 9, "s:Items", "i:Value", kClosesReceipt},
    {"TrashID", 12, "", "s:Value"},
    {"ArtItems", 13, "", "s:Value"},
    {"GetArtParams", 21, "i:N s:Description i:NDep i:NTax x:Price",
     "s:Description i:NDep i:NTax x:Price i:Value"},
    {"TaxItems", 25, "", "s:Value"},
    {"GetTaxParams", 26, "i:N s:Description x:TaxValue x:TaxValueAdv", "s:Description x:TaxValue x:TaxValueAdv i:Value"},
    {"OpenCheck", 10, "s:Info", "i:Value", kClosesReceipt},
    {"DepItems", 27, "", "s:Value"},
    {"GetDepParams", 29, "i:N s:Description i:NTax", "s:Description i:NTax i:Value"},
    {"SetArt", 30, "i:NArt i:NDep i:NTax x:Price s:Description b:Return", "i:Value"},
    {"BeginMsg", 31, "", "s:Value"},
};

// One argument of a list: its type letter and its name.
struct Arg {
    char type = 0;
    std::string_view name;
};

constexpr std::size_t ArgCount(std::string_view args) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < args.size(); ++n) {
        const std::size_t end = args.find(' ', pos);
        pos = end == std::string_view::npos ? args.size() : end + 1;
    }
    return n;
}

// The k-th argument (from 0); an empty one past the end.
constexpr Arg ArgAt(std::string_view args, std::size_t k) {
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < args.size(); ++i) {
        std::size_t end = args.find(' ', pos);
        if (end == std::string_view::npos) end = args.size();
        if (i == k) return end - pos > 2 ? Arg{args[pos], args.substr(pos + 2, end - pos - 2)} : Arg{};
        pos = end + 1;
    }
    return {};
}

// The position of the out argument named name, or -1: an in argument of that name is
// an in/out parameter.
constexpr int OutIndex(const Member& m, std::string_view name) {
    for (std::size_t k = 0; k < ArgCount(m.out); ++k)
        if (ArgAt(m.out, k).name == name) return static_cast<int>(k);
    return -1;
}

// The D-Bus signature of an argument list: "x:Sum b:Print" -> "xb".
inline std::string Signature(std::string_view args) {
    std::string sig;
    for (std::size_t k = 0; k < ArgCount(args); ++k) sig += ArgAt(args, k).type;
    return sig;
}

// The row of the member named name, or -1.
constexpr int MemberIndex(std::span<const Member> table, std::string_view name) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].name == name) return static_cast<int>(i);
    return -1;
}

inline const Member* FindMember(std::span<const Member> table, std::string_view name) {
    const int i = MemberIndex(table, name);
    return i < 0 ? nullptr : &table[static_cast<std::size_t>(i)];
}

// A member's name as a template argument: Call<"AddPayArt">(...).
template <std::size_t N>
struct MemberName {
    char text[N];
    consteval MemberName(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
    }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

}  // namespace tolver::spooler::bus
