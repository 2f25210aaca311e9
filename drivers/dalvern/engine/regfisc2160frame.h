#pragma once
// The wire format of the "РФ 2160", both directions:
//
//   SOH "FISREGISTRATOR2160" STX FS NNN data ETX CCCC EOT
//
// NNN is the data length as three decimal digits, CCCC the byte sum from SOH through
// ETX as decimal digits, at least four (a sum above 9999 keeps all five). Besides
// frames there are single bytes: ACK and NUL from the driver, ACK and NAK from the
// register. A received frame is classified as a TReply: a status ("[" and four flag
// bytes) decodes into the device mode, an error class and at most one detail line.
// All texts here are UTF-8 except frame bytes and TReply::Data, which are bytes
// (the data converted to Windows-1251).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/dalvern/engine/regfisc2160commands.h"

namespace tolver {

namespace fisc2160 {
inline constexpr char kNUL = 0x00;
inline constexpr char kSOH = 0x01;
inline constexpr char kSTX = 0x02;
inline constexpr char kETX = 0x03;
inline constexpr char kEOT = 0x04;
inline constexpr char kACK = 0x06;
inline constexpr char kNAK = 0x15;
inline constexpr char kFS = 0x1C;
inline constexpr std::string_view kSignature = "FISREGISTRATOR2160";
// SOH, the signature, STX and FS.
inline constexpr std::size_t kHeaderSize = 21;
// The length field has three digits.
inline constexpr std::size_t kMaxText = 999;
// The longest frame: 999 data bytes and a five-digit checksum.
inline constexpr std::size_t kMaxFrame = kHeaderSize + 3 + kMaxText + 1 + 5 + 1;
}  // namespace fisc2160

// The frame of a command text (bytes as they go on the wire), or nothing when the
// text is longer than 999 bytes and cannot be framed.
std::optional<std::string> BuildFrame(std::string_view text);

// Cuts the received byte stream into units. A lone ACK or NAK is a unit of its own
// and drops whatever was gathered before it, and so does an SOH, which starts a
// frame; a frame ends at an EOT that follows ETX and four (or five) checksum digits. Inside a frame whose header and length field
// have arrived, the bytes up to the declared length are data, whatever their value:
// a status flag byte may well be 0x06 or 0x15 and must not cut its frame. Bytes that
// never complete a frame are kept, at most one longest frame's worth of the latest.
class TReplyAssembler {
public:
    // Takes one byte; true with the finished unit in unit when it completes one.
    bool Feed(char byte, std::string& unit);
    void Clear() { buffer_.clear(); }
    const std::string& Buffer() const { return buffer_; }

private:
    // Whether the next byte falls inside the data field of the frame being gathered.
    bool InData() const;

    std::string buffer_;
};

// The lowest set bit among bits 0..4 of the mode flags as the device mode 1..5
// (regfisc2160commands.h); 0 when none is set.
std::uint8_t ModeFromFlags(std::uint8_t modeFlags);
// The text of the error class named by the lowest set bit; empty for 0.
std::string ErrorClassText(std::uint8_t errorFlags);
// The detail line that the lowest set detail bit picks for that class; empty for a
// class without details or for detail flags 0.
std::string ErrorDetailText(std::uint8_t errorFlags, std::uint8_t detailFlags);
// The error report: the class text, then CR LF " -" and each detail line.
std::string ErrorReportText(const std::string& text, const std::vector<std::string>& details);
// A byte as eight digits 0 and 1, most significant bit first.
std::string BitsText(std::uint8_t value);

// One received unit, classified. Parse never throws.
class TReply {
public:
    enum : std::uint8_t {
        KindUnrecognised = 0,
        KindNak = 1,
        KindAck = 2,
        KindStatus = 3,
        KindData = 4,
        KindDamaged = 5,
    };

    std::string Raw;                   // the unit as received
    std::string Data;                  // a frame's data field in Windows-1251
    std::string ErrorText;             // a status's error class text, empty without error
    std::vector<std::string> Details;  // a status's detail line, at most one
    std::uint8_t Kind = KindUnrecognised;
    std::uint8_t Mode = 0;
    std::uint8_t ModeFlags = 0;
    std::uint8_t ErrorFlags = 0;
    std::uint8_t SpareFlags = 0;  // carried and logged only
    std::uint8_t DetailFlags = 0;

    void Parse(std::string_view raw) noexcept;
};

}  // namespace tolver
