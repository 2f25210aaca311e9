#include "drivers/skeleton/driver/skeletondriver.h"

namespace tolver {

TSkeletonDriver::TSkeletonDriver(std::unique_ptr<TSkeletonProtocol> protocol)
    : TSkeletonFrames(settings_, advSettings_),
      protocol_(protocol ? std::move(protocol) : std::make_unique<TSkeletonProtocol>()) {
    Events.RelayFrom(*protocol_);
    GetSkeletonDefaultProperties(settings_);
    ShowSettings();
    ShowAdvSettings();
}

// The engine stops first, so that no event reaches the frames as they go.
TSkeletonDriver::~TSkeletonDriver() {
    protocol_.reset();
    DestroyFrames();
}

std::int32_t TSkeletonDriver::Init(std::string& cause) {
    protocol_->ApplyPriority(settings_.Priority);
    return protocol_->Open(cause);
}

}  // namespace tolver
