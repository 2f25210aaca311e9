#include "drivers/skeleton/engine/skeletonprotocol.h"

#include "platform/serial/defaultline.h"

namespace tolver {

TSkeletonProtocol::TSkeletonProtocol() : TSkeletonProtocol(MakeDefaultPort(), DefaultLineClock(), true) {}

TSkeletonProtocol::TSkeletonProtocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : TSerialEngine(std::move(port), clock, withThread) {}

TSkeletonProtocol::~TSkeletonProtocol() { StopPump(); }

}  // namespace tolver
