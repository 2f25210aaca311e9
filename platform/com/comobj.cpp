#include "platform/com/comobj.h"

#include "platform/com/comserv.h"

namespace tolver {

TComObjectBase::~TComObjectBase() {
    if (module_) module_->Detach();
}

std::uint32_t TComObjectBase::ObjRelease() noexcept {
    const std::uint32_t n = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) {
        // A reference taken and dropped again while the object is destroyed must not
        // destroy it a second time.
        refCount_.store(1, std::memory_order_relaxed);
        delete this;
    }
    return n;
}

}  // namespace tolver
