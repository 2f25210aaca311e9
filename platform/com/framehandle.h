#pragma once
// The frame-handle table: a driver's settings frame crosses the driver contract as a
// 32-bit integer. The driver hands out FrameHandle(frame) and keeps owning the
// frame; the host turns the integer back into the widget with FrameFromHandle to
// dock it, and never frees it. A handle is never reused in the process, so a handle
// whose frame is gone resolves to nothing rather than to another widget.

#include <cstdint>

class QWidget;

namespace tolver {

// The handle of frame (the same one for as long as the frame lives); 0 for none.
std::int32_t FrameHandle(QWidget* frame);
// The frame of a handle; null for 0, a handle never given out, or a frame that has
// been destroyed.
QWidget* FrameFromHandle(std::int32_t handle);

}  // namespace tolver
