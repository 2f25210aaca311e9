#pragma once
// The fiscal register "РФ 2160" as its serial line shows it. Frames
//   SOH "FISREGISTRATOR2160" STX FS NNN data ETX sum EOT
// are checked byte by byte (signature, the three length digits, ETX, a checksum of
// four digits or five above 9999, EOT); a good frame is acknowledged with ACK and
// answered, a bad one with NAK. Lone bytes between frames are tolerated: the PC's
// ACKs are counted, a NUL (the PC's filler while it waits for a lost ACK) is
// answered with NAK, anything else is ignored.
//
// Answers: "[" gets a status; "S1" the identification (device id and firmware
// version); "o" with a mode digit and the password 73920461 changes the mode; any
// other text is a command that the register reads and carries out on its books
// (rf2160register.h): a command for another mode gets the mode error, one it cannot
// read "wrong command or format", and what it booked goes into its journal. A status
// is "[", the mode bit, the error class, a spare byte and the detail bits; firmware
// "26.10.0" reports every status twice (accepted, then done), newer firmware once.
// Faults are injected by script.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/rf2160/rf2160register.h"
#include "sim/simdevice.h"

namespace tolver {

struct TRf2160Fault {
    // Frame: the Nth good frame received (from 1); Command: the Nth good frame that is
    // neither "[" nor "S1"; Time: at a time in ms.
    enum class Trigger { Frame, Command, Time };
    enum class Action {
        Nak,           // NAK instead of ACK, for this and the next count-1 good frames
        NoAck,         // nothing at all; the frame is not executed
        AckOnly,       // ACK and execution, but no reply frame
        LateAck,       // ACK after ms, the reply after it
        LateReply,     // ACK in time, the reply ms later (a long print)
        Unrecognised,  // the reply comes with a foreign signature
        Damaged,       // the reply comes with a letter in its length field
        BadSum,        // the reply's checksum is off by one
        Garbage,       // bytes sent right after the ACK (Time: at that time)
        AckInFrame,    // the status carries the bytes 0x06 and 0x15 as spare and detail flags
        Error,         // the reply is a status with this error class and detail; not executed
        Split,         // the reply's second half comes ms after its first
        Silent,        // no answer for ms from here on (output falling due is lost)
        Status,        // Time only: an unsolicited status with error and detail
        Ack,           // Time only: a lone ACK
        NakByte,       // Time only: a lone NAK
    };
    Trigger trigger = Trigger::Frame;
    std::int64_t at = 0;
    Action action = Action::Nak;
    int count = 1;
    std::int64_t ms = 0;
    std::uint8_t error = 0;
    std::uint8_t detail = 0;
    std::string bytes;
};

// A fault script: items separated by ";" or new lines, each
//   frame N ACTION | cmd N ACTION | at MS ACTION
// ACTION for frame and cmd: nak [COUNT] | no-ack | ack-only | late-ack MS |
//   late-reply MS | unrecognised | damaged | bad-sum | garbage HH [HH ...] | ack-in-frame |
//   error EE [DD] | split MS | silent MS
// ACTION for at: status EE [DD] | garbage HH [HH ...] | silent MS | ack | nak
// (EE, DD and HH hexadecimal bytes). Raises Exception naming the faulty item.
std::vector<TRf2160Fault> ParseRf2160Faults(std::string_view script);

// One text the register executed.
struct TRf2160Executed {
    std::int64_t time;
    std::string text;   // the data field as received
    std::uint8_t mode;  // the register's mode at the time
};

class TRf2160Sim : public TSimDevice {
public:
    static constexpr const char* kPassword = "73920461";

    // The firmware version reported at identification ("26.10.0", "2160.01.02",
    // "2160.01.03", "2160.01.O" or any other text, up to 14 characters).
    void SetVersion(std::string version) {
        version_ = std::move(version);
        register_.SetFirstFirmware(version_ == "26.10.0");
    }
    // The device id, 10 characters.
    void SetDeviceId(std::string id) { deviceId_ = std::move(id); }
    // The mode the register is in: 0 none, 1 РАБОТА, 2 X, 3 Z, 4 ПРОГРАММИРОВАНИЕ, 5 АДМИНИСТРАТОР.
    void SetMode(std::uint8_t mode) { mode_ = mode; }
    std::uint8_t Mode() const { return mode_; }
    // Times from the end of a received frame to the ACK, and from the ACK to the reply
    // frame; the second status of the old firmware follows after the print time.
    void SetAckDelay(int ms) { ackDelay_ = ms; }
    void SetReplyDelay(int ms) { replyDelay_ = ms; }
    void SetPrintDelay(int ms) { printDelay_ = ms; }
    // A persistent error reported in every status until cleared with 0 (a lock such
    // as the end of the paper, 0x80 and 0x02); texts are not executed meanwhile.
    void SetError(std::uint8_t error, std::uint8_t detail) {
        error_ = error;
        errorDetail_ = detail;
    }

    void AddFault(const TRf2160Fault& fault) { faults_.push_back({fault, false}); }
    void AddFaults(const std::vector<TRf2160Fault>& faults) {
        for (const auto& f : faults) AddFault(f);
    }

    // The register's books: what it booked (its journal), the drawer, the articles.
    const TRf2160Register& Books() const { return register_; }
    TRf2160Register& Books() { return register_; }
    const std::vector<std::string>& Journal() const { return register_.Journal(); }
    // The texts it carried out (mode switches included), in order.
    const std::vector<TRf2160Executed>& Executed() const { return executed_; }
    // How many times a text was executed.
    int ExecutedCount(std::string_view text) const;
    // How many good frames carried the text, executed or not.
    int ReceivedCount(const std::string& text) const {
        const auto it = framesByText_.find(text);
        return it == framesByText_.end() ? 0 : it->second;
    }
    int GoodFrames() const { return goodFrames_; }
    // Scripted faults that have fired.
    int FaultsFired() const {
        int n = 0;
        for (const Armed& a : faults_) n += a.fired;
        return n;
    }
    int BadFrames() const { return badFrames_; }
    int NaksSent() const { return naks_; }
    int AcksReceived() const { return acks_; }
    int NulsReceived() const { return nuls_; }
    // The frame this register would send with the given data (for tests).
    static std::string MakeFrame(std::string_view data);

protected:
    void OnReceive(std::uint8_t byte, std::int64_t now) override;
    void OnTime(std::int64_t now) override;

private:
    enum class Rx { Hunt, Header, Length, Data, Etx, Sum };
    struct Armed {
        TRf2160Fault fault;
        bool fired;
    };

    void Restart();
    void Refuse(std::int64_t now);
    void FrameDone(std::int64_t now);
    void Answer(const std::string& text, std::int64_t now);
    std::string StatusData(std::uint8_t error, std::uint8_t detail, std::uint8_t spare = 0) const;
    std::string Identification() const;
    void FireTime(const TRf2160Fault& f);

    // Receiving.
    Rx rx_ = Rx::Hunt;
    std::string frame_;  // the frame being received
    std::size_t length_ = 0;
    std::int64_t lastByte_ = 0;

    // The register.
    std::string version_ = "2160.01.O";
    std::string deviceId_ = "2160004217";
    std::uint8_t mode_ = 1;
    TRf2160Register register_;
    std::uint8_t error_ = 0;
    std::uint8_t errorDetail_ = 0;
    int ackDelay_ = 2;
    int replyDelay_ = 10;
    int printDelay_ = 40;

    std::vector<Armed> faults_;
    int nakLeft_ = 0;
    std::vector<TRf2160Executed> executed_;
    std::map<std::string, int> framesByText_;
    int goodFrames_ = 0;
    int commandFrames_ = 0;
    int badFrames_ = 0;
    int naks_ = 0;
    int acks_ = 0;
    int nuls_ = 0;
};

}  // namespace tolver
