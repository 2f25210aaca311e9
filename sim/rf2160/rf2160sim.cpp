#include "sim/rf2160/rf2160sim.h"

#include <cstdio>

#include "platform/base/exception.h"
#include "sim/faultscript.h"

namespace tolver {
namespace {

constexpr std::uint8_t SOH = 0x01, STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06, NAK = 0x15, FS = 0x1C, NUL = 0x00;
// SOH, the signature, STX and FS: what every frame starts with.
const std::string kFrameStart = std::string("\x01") + "FISREGISTRATOR2160" + "\x02\x1C";
// A frame in progress is given up after this much quiet on the line.
constexpr std::int64_t kByteGapMs = 500;

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

unsigned ByteSum(std::string_view s) {
    unsigned sum = 0;
    for (const char c : s) sum += static_cast<unsigned char>(c);
    return sum;
}

std::string SumField(unsigned sum) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04u", sum);
    return buf;
}

}  // namespace

std::vector<TRf2160Fault> ParseRf2160Faults(std::string_view script) {
    using T = TRf2160Fault::Trigger;
    using A = TRf2160Fault::Action;
    std::vector<TRf2160Fault> faults;
    for (const TFaultItem& item : SplitFaultScript(script)) {
        const std::vector<std::string>& w = item.words;
        if (w.size() < 3) FaultScriptError("incomplete item", item);
        TRf2160Fault f;
        if (w[0] == "frame")
            f.trigger = T::Frame;
        else if (w[0] == "cmd")
            f.trigger = T::Command;
        else if (w[0] == "at")
            f.trigger = T::Time;
        else
            FaultScriptError("unknown trigger \"" + w[0] + "\"", item);
        f.at = FaultInt(w[1], item);
        const std::string& action = w[2];
        const bool timed = f.trigger == T::Time;
        const auto args = [&](std::size_t min, std::size_t max) {
            if (w.size() < 3 + min || w.size() > 3 + max) FaultScriptError("wrong number of arguments", item);
        };
        const auto hexBytes = [&] {
            if (w.size() < 4) FaultScriptError("no bytes", item);
            for (std::size_t i = 3; i < w.size(); ++i) f.bytes += static_cast<char>(FaultHexByte(w[i], item));
        };
        const auto errorAndDetail = [&] {
            args(1, 2);
            f.error = FaultHexByte(w[3], item);
            if (w.size() > 4) f.detail = FaultHexByte(w[4], item);
        };
        if (action == "garbage") {
            f.action = A::Garbage;
            hexBytes();
        } else if (action == "silent") {
            args(1, 1);
            f.action = A::Silent;
            f.ms = FaultInt(w[3], item);
        } else if (timed && action == "status") {
            f.action = A::Status;
            errorAndDetail();
        } else if (timed && (action == "ack" || action == "nak")) {
            args(0, 0);
            f.action = action == "ack" ? A::Ack : A::NakByte;
        } else if (!timed && action == "nak") {
            args(0, 1);
            f.action = A::Nak;
            if (w.size() > 3) f.count = FaultInt(w[3], item);
        } else if (!timed && (action == "late-ack" || action == "late-reply" || action == "split")) {
            args(1, 1);
            f.action = action == "late-ack" ? A::LateAck : action == "late-reply" ? A::LateReply : A::Split;
            f.ms = FaultInt(w[3], item);
        } else if (!timed && action == "error") {
            f.action = A::Error;
            errorAndDetail();
        } else if (!timed) {
            static const std::pair<const char*, A> kPlain[] = {
                {"no-ack", A::NoAck},   {"ack-only", A::AckOnly}, {"unrecognised", A::Unrecognised},
                {"damaged", A::Damaged}, {"bad-sum", A::BadSum},  {"ack-in-frame", A::AckInFrame}};
            bool found = false;
            for (const auto& [name, a] : kPlain)
                if (action == name) {
                    f.action = a;
                    found = true;
                }
            if (!found) FaultScriptError("unknown action \"" + action + "\"", item);
            args(0, 0);
        } else {
            FaultScriptError("unknown action \"" + action + "\"", item);
        }
        faults.push_back(f);
    }
    return faults;
}

std::string TRf2160Sim::MakeFrame(std::string_view data) {
    char length[8];
    std::snprintf(length, sizeof length, "%03zu", data.size() % 1000);
    std::string frame = kFrameStart + length + std::string(data) + static_cast<char>(ETX);
    frame += SumField(ByteSum(frame));
    frame += static_cast<char>(EOT);
    return frame;
}

int TRf2160Sim::ExecutedCount(std::string_view text) const {
    int n = 0;
    for (const TRf2160Executed& e : executed_) n += e.text == text;
    return n;
}

void TRf2160Sim::Restart() {
    rx_ = Rx::Hunt;
    frame_.clear();
    length_ = 0;
}

void TRf2160Sim::Refuse(std::int64_t now) {
    ++naks_;
    Schedule(std::string(1, static_cast<char>(NAK)), now + ackDelay_);
    Restart();
}

void TRf2160Sim::OnReceive(std::uint8_t byte, std::int64_t now) {
    if (rx_ != Rx::Hunt && now - lastByte_ > kByteGapMs) Restart();
    lastByte_ = now;
    switch (rx_) {
        case Rx::Hunt:
            if (byte == SOH) {
                frame_.assign(1, static_cast<char>(byte));
                rx_ = Rx::Header;
            } else if (byte == ACK) {
                ++acks_;
            } else if (byte == NUL) {
                ++nuls_;
                Refuse(now);
            }
            return;
        case Rx::Header:
            if (byte != static_cast<std::uint8_t>(kFrameStart[frame_.size()])) {
                ++badFrames_;
                Refuse(now);
                if (byte == SOH) OnReceive(byte, now);  // a new frame starts here
                return;
            }
            frame_ += static_cast<char>(byte);
            if (frame_.size() == kFrameStart.size()) rx_ = Rx::Length;
            return;
        case Rx::Length:
            if (!IsDigit(byte)) {
                ++badFrames_;
                Refuse(now);
                return;
            }
            frame_ += static_cast<char>(byte);
            length_ = length_ * 10 + (byte - '0');
            if (frame_.size() == kFrameStart.size() + 3) rx_ = length_ ? Rx::Data : Rx::Etx;
            return;
        case Rx::Data:
            frame_ += static_cast<char>(byte);
            if (frame_.size() == kFrameStart.size() + 3 + length_) rx_ = Rx::Etx;
            return;
        case Rx::Etx:
            if (byte != ETX) {
                ++badFrames_;
                Refuse(now);
                return;
            }
            frame_ += static_cast<char>(byte);
            rx_ = Rx::Sum;
            return;
        case Rx::Sum: {
            const std::size_t digits = frame_.size() - (kFrameStart.size() + 3 + length_ + 1);
            if (byte == EOT && digits >= 4) {
                FrameDone(now);
            } else if (IsDigit(byte) && digits < 5) {
                frame_ += static_cast<char>(byte);
            } else {
                ++badFrames_;
                Refuse(now);
            }
            return;
        }
    }
}

void TRf2160Sim::FrameDone(std::int64_t now) {
    const std::size_t etx = kFrameStart.size() + 3 + length_;
    // The sum field holds exactly the digits of the sum, at least four.
    if (frame_.substr(etx + 1) != SumField(ByteSum(std::string_view(frame_).substr(0, etx + 1)))) {
        ++badFrames_;
        Refuse(now);
        return;
    }
    const std::string text = frame_.substr(kFrameStart.size() + 3, length_);
    Restart();
    Answer(text, now);
}

void TRf2160Sim::Answer(const std::string& text, std::int64_t now) {
    using T = TRf2160Fault::Trigger;
    using A = TRf2160Fault::Action;
    ++goodFrames_;
    ++framesByText_[text];
    const bool command = text != "[" && text != "S1";
    if (command) ++commandFrames_;

    std::vector<TRf2160Fault> fired;
    for (Armed& a : faults_) {
        if (a.fired) continue;
        if ((a.fault.trigger == T::Frame && a.fault.at == goodFrames_) ||
            (a.fault.trigger == T::Command && command && a.fault.at == commandFrames_)) {
            a.fired = true;
            fired.push_back(a.fault);
        }
    }
    const auto has = [&](A action) -> const TRf2160Fault* {
        for (const TRf2160Fault& f : fired)
            if (f.action == action) return &f;
        return nullptr;
    };
    if (const TRf2160Fault* f = has(A::Silent)) {
        SetSilentUntil(now + f->ms);
        return;
    }
    if (const TRf2160Fault* f = has(A::Nak)) nakLeft_ = f->count;
    if (nakLeft_ > 0) {
        --nakLeft_;
        ++naks_;
        Schedule(std::string(1, static_cast<char>(NAK)), now + ackDelay_);
        return;
    }
    if (has(A::NoAck)) return;

    const TRf2160Fault* late = has(A::LateAck);
    const std::int64_t ackAt = now + (late ? late->ms : ackDelay_);
    Schedule(std::string(1, static_cast<char>(ACK)), ackAt);
    if (const TRf2160Fault* g = has(A::Garbage)) Schedule(g->bytes, ackAt);

    // Carry out the text; reply is the data of the answering frame.
    std::string reply;
    const TRf2160Fault* error = has(A::Error);
    const std::uint8_t spare = has(A::AckInFrame) ? 0x06 : 0;
    const auto status = [&](std::uint8_t e, std::uint8_t d) {
        reply = StatusData(e, has(A::AckInFrame) ? 0x15 : d, spare);
    };
    if (error) {
        status(error->error, error->detail);
    } else if (text == "[") {
        status(error_, errorDetail_);
    } else if (text == "S1") {
        reply = Identification();
    } else if (error_) {
        status(error_, errorDetail_);
    } else if (text.empty()) {
        status(0x04, 0);
    } else if (text[0] == 'o') {
        const bool digit = text.size() == 10 && text[1] >= '1' && text[1] <= '5';
        if (digit && text.compare(2, 8, kPassword) == 0) {
            mode_ = static_cast<std::uint8_t>(text[1] - '0');
            executed_.push_back({now, text, mode_});
            status(0, 0);
        } else if (digit) {
            status(0x20, 0x80);  // the password does not match
        } else {
            status(0x04, 0);  // not a command
        }
    } else {
        const TRf2160Answer a = register_.Execute(text, mode_);
        if (a == TRf2160Answer{}) executed_.push_back({now, text, mode_});
        status(a.error, a.detail);
    }
    if (has(A::AckOnly)) return;

    std::string frame = MakeFrame(reply);
    if (has(A::Unrecognised)) frame[5] = 'X';                  // foreign signature
    if (has(A::Damaged)) frame[kFrameStart.size() + 1] = 'a';  // letter in the length field
    if (has(A::BadSum)) {
        char& last = frame[frame.size() - 2];
        last = last == '9' ? '0' : static_cast<char>(last + 1);
    }
    const TRf2160Fault* slow = has(A::LateReply);
    const std::int64_t replyAt = ackAt + replyDelay_ + (slow ? slow->ms : 0);
    const bool twice = version_ == "26.10.0" && reply.size() == 5 && reply[0] == '[';
    if (const TRf2160Fault* split = has(A::Split)) {
        const std::size_t half = frame.size() / 2;
        Schedule(frame.substr(0, half), replyAt);
        Schedule(frame.substr(half), replyAt + split->ms);
        if (twice) Schedule(frame, replyAt + split->ms + printDelay_);
        return;
    }
    Schedule(frame, replyAt);
    if (twice) Schedule(frame, replyAt + printDelay_);
}

std::string TRf2160Sim::StatusData(std::uint8_t error, std::uint8_t detail, std::uint8_t spare) const {
    std::string s = "[";
    s += static_cast<char>(mode_ >= 1 && mode_ <= 5 ? 1u << (mode_ - 1) : 0u);
    s += static_cast<char>(error);
    s += static_cast<char>(spare);
    s += static_cast<char>(detail);
    return s;
}

std::string TRf2160Sim::Identification() const {
    // "S1", the device id at 3..12, the register's name and fiscal data at 13..43,
    // the firmware version at 44..57; the name is in the register's own letters
    // (0x90 0x94 is "РФ" in code page 866).
    std::string id = deviceId_;
    id.resize(10, ' ');
    std::string info = " \x90\x94 2160 FN 4000217 01.12.26";
    info.resize(31, ' ');
    std::string version = version_;
    version.resize(14, ' ');
    return "S1" + id + info + version;
}

void TRf2160Sim::OnTime(std::int64_t now) {
    using A = TRf2160Fault::Action;
    for (Armed& a : faults_) {
        if (a.fired || a.fault.trigger != TRf2160Fault::Trigger::Time || a.fault.at > now) continue;
        a.fired = true;
        const TRf2160Fault& f = a.fault;
        switch (f.action) {
            case A::Status: Schedule(MakeFrame(StatusData(f.error, f.detail)), f.at); break;
            case A::Garbage: Schedule(f.bytes, f.at); break;
            case A::Silent: SetSilentUntil(f.at + f.ms); break;
            case A::Ack: Schedule(std::string(1, static_cast<char>(ACK)), f.at); break;
            case A::NakByte: Schedule(std::string(1, static_cast<char>(NAK)), f.at); break;
            default: break;
        }
    }
}

}  // namespace tolver
