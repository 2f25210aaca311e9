#pragma once
// The commands of the "РФ 2160" as the driver object and the engine both write them:
// the device modes a command needs, the option bits it is queued with, the command
// codes and the encoders of their arguments. A command text is its code followed by
// its arguments: numbers as decimal digits or as raw big-endian bytes, names and free
// texts in the register's code page (regfisc2160code.h). Letters of the codes are
// Windows-1251 bytes.

#include <cstdint>
#include <string>

#include "platform/variant/variant.h"

namespace tolver {

// The device modes that statuses report and commands require.
enum : std::uint8_t {
    kModeNone = 0,
    kModeWork = 1,     // РАБОТА
    kModeX = 2,        // X
    kModeZ = 3,        // Z
    kModeProgram = 4,  // ПРОГРАММИРОВАНИЕ
    kModeAdmin = 5,    // АДМИНИСТРАТОР
};

// Option bits of a command: the reply time-out it waits with (short, long for a
// print, report), whether it stays queued after an error status, and whether a
// malformed reply drops it (result 1) instead of failing it.
enum TRegFisc2160Option : std::int32_t {
    OptShortTimeout = 0x01,
    OptLongTimeout = 0x02,
    OptReportTimeout = 0x04,
    OptKeepOnError = 0x08,
    OptDropOnFormatError = 0x10,
};

namespace fisc2160 {

// The engine's own: the status poll, the identification, and the mode switch ("o",
// the mode as one digit, the password).
inline constexpr const char* kCmdStatus = "[";
inline constexpr const char* kCmdIdentify = "S1";
inline constexpr const char* kCmdModeSwitch = "o";
inline constexpr const char* kModePassword = "73920461";

// Receipts (mode РАБОТА).
inline constexpr const char* kCmdSale = " ";          // article (2), quantity in thousandths (8)
inline constexpr const char* kCmdPricedSale = ")";    // article (2), quantity (4), price (4)
inline constexpr const char* kCmdProgramArticle = "PP";
inline constexpr const char* kCmdVoidLast = "k";
inline constexpr const char* kCmdCloseExact = "1";     // pay type
inline constexpr const char* kCmdCloseTendered = "2";  // pay type, tender (8)
inline constexpr const char* kCmdCashIn = "91";        // pay type, sum (8)
inline constexpr const char* kCmdCashOut = "90";       // pay type, sum (8)
inline constexpr const char* kCmdSignOn = "5";         // cashier (2 digits), password (8 digits)
inline constexpr const char* kCmdSignOff = "6";
inline constexpr const char* kCmdPrintText = "@";      // 24 characters
inline constexpr const char* kCmdOpenDrawer = "0";
// The pay types of the close and cash commands.
inline constexpr char kPayCash = '8';
inline constexpr char kPayCheque = '6';
inline constexpr char kPayCredit = '7';

// Reports (modes X and Z).
inline constexpr const char* kCmdDailyX = "I\xE0X";        // IаX
inline constexpr const char* kCmdCashiersX = "I\xE6X";     // IжX
inline constexpr const char* kCmdArticlesX = "I\xE8X";     // IиX
inline constexpr const char* kCmdDailyZ = "I\xE0Z";        // IаZ
inline constexpr const char* kCmdCashiersZ = "I\xE6Z";     // IжZ
inline constexpr const char* kCmdArticlesZ = "I\xE8Z";     // IиZ
inline constexpr const char* kCmdPeriodic = "J\xEEX";      // JоX, dates or numbers
inline constexpr const char* kCmdPeriodicShort = "J\xEES";  // JоS
inline constexpr const char* kCmdProgrammingReport = "SP";

// Programming (modes ПРОГРАММИРОВАНИЕ and АДМИНИСТРАТОР).
inline constexpr const char* kCmdDate = "PG";         // ddMMyy
inline constexpr const char* kCmdTime = "PF";         // HHmmss
inline constexpr const char* kCmdHeaderLine = "PH";   // line digit, 35 characters
inline constexpr const char* kCmdFooterLine = "PI";   // line digit, 35 characters
inline constexpr const char* kCmdTaxRates = "PT";
inline constexpr const char* kCmdTaxRatesWithLevies = "PU";
inline constexpr const char* kCmdCashier = "PC";      // number (2), password (8), name (24)
inline constexpr const char* kCmdTaxCode = "PY";      // 14 characters
inline constexpr const char* kCmdRegistrationCode = "PA";  // 14 characters
inline constexpr const char* kCmdSetOption = "PJ";    // option (2 digits), value (2 digits)
inline constexpr int kOptionCutter = 4;
inline constexpr int kOptionTaxAccumulation = 5;

// The largest value a 4-byte field carries; more would wrap on the register. It also
// bounds a tender, a cash move and a receipt's total (21 474 836.47).
inline constexpr std::int64_t kMaxField4 = 0x7FFFFFFF;
// Cashier passwords are sent as eight digits.
inline constexpr std::int64_t kMaxPassword = 99999999;
// Fiscal-memory numbers are sent as four digits.
inline constexpr int kMaxFiscalNumber = 9999;

}  // namespace fisc2160

// The n lowest-order bytes of value, most significant first.
std::string IntToBytes(int n, std::int64_t value);
// The decimal digits of a value of 0 or more, with zeros on the left to width.
std::string Digits(std::int64_t value, int width);
// Round(value × 100), a half to the even neighbour.
std::int64_t Hundredths(Currency value);
// Client text (UTF-8) in the register's code page, control characters as blanks,
// cut or padded with blanks on the right to width characters (no padding for width 0).
std::string DeviceText(const std::string& text, std::size_t width);
// The option command: option and value as two digits each.
std::string SetOptionText(int option, bool on);

}  // namespace tolver
