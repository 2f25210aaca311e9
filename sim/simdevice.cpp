#include "sim/simdevice.h"

#include <algorithm>

namespace tolver {

void TSimDevice::Receive(std::uint8_t byte, std::int64_t now) {
    received_.push_back({now, byte});
    OnTime(now);
    if (!Silent(now)) OnReceive(byte, now);
}

void TSimDevice::Schedule(std::string_view bytes, std::int64_t at) {
    if (bytes.empty()) return;
    const auto pos = std::upper_bound(schedule_.begin(), schedule_.end(), at,
                                      [](std::int64_t t, const Pending& p) { return t < p.at; });
    schedule_.insert(pos, Pending{at, std::string(bytes)});
}

bool TSimDevice::TakeDue(std::int64_t now, std::string& out) {
    OnTime(now);
    bool any = false;
    while (!schedule_.empty() && schedule_.front().at <= now) {
        Pending p = std::move(schedule_.front());
        schedule_.pop_front();
        if (Silent(p.at)) continue;
        for (const char c : p.bytes) sent_.push_back({now, static_cast<std::uint8_t>(c)});
        out += p.bytes;
        any = true;
    }
    return any;
}

std::int64_t TSimDevice::NextDue() const { return schedule_.empty() ? -1 : schedule_.front().at; }

std::string TSimDevice::ReceivedBytes() const {
    std::string s;
    s.reserve(received_.size());
    for (const TSimByte& b : received_) s += static_cast<char>(b.byte);
    return s;
}

void TSimDevice::ClearRecord() {
    received_.clear();
    sent_.clear();
}

}  // namespace tolver
