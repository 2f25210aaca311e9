#pragma once
// A pseudo-terminal whose slave side stands for the register's serial line: the PC
// side opens SlavePath() like any serial device, the simulator works the master.
// The slave is set raw at once (else the line discipline eats control bytes) and
// kept open, so that the PC side may close and reopen without the master seeing a
// hang-up.

#include <atomic>
#include <cstdint>
#include <string>

#include "sim/simdevice.h"

namespace tolver {

class TSimPty {
public:
    TSimPty();  // raises Exception when no pseudo-terminal can be made
    ~TSimPty();
    TSimPty(const TSimPty&) = delete;
    TSimPty& operator=(const TSimPty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Hands every byte the PC has sent to the device (at time now), then writes the
    // device's output due at now.
    void Pump(TSimDevice& device, std::int64_t now);
    // Waits up to timeoutMs for bytes from the PC.
    void WaitInput(int timeoutMs) const;
    // Output the line has not yet taken (the PC side is not reading).
    bool OutputPending() const { return !pending_.empty(); }

    // Bytes read from the PC and written to it.
    std::uint64_t RxCount() const { return rx_; }
    std::uint64_t TxCount() const { return tx_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string pending_;
    std::atomic<std::uint64_t> rx_{0};
    std::atomic<std::uint64_t> tx_{0};
};

}  // namespace tolver
