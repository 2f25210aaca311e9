#pragma once
// The protocol engine of the skeleton driver: the line and nothing on it. How an
// engine is built on the core (the queue, the steps, pacing, time-outs, results) is
// written at the head of drivers/engine/serialengine.h.

#include <memory>
#include <string>

#include "drivers/engine/serialengine.h"

namespace tolver {

class TSkeletonProtocol : public TSerialEngine {
public:
    // The default line (platform/serial/defaultline.h) with a pump thread.
    TSkeletonProtocol();
    // Another line and clock; without a thread the caller calls Step itself.
    TSkeletonProtocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread);
    ~TSkeletonProtocol() override;

    // 0, or -1 with the cause.
    int Open(std::string& cause) { return OpenPort(cause); }
    void Close() { ClosePort(); }

protected:
    // One step: read what has arrived, act, change state, return.
    void StepState() override {}
};

}  // namespace tolver
