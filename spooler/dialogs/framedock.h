#pragma once
// Docking a driver's settings frame into a dialog's panel: the frame crosses the
// driver contract as a handle (platform/com/framehandle.h) and stays the driver's.

#include <cstdint>

class QWidget;

namespace tolver {

// The frame of handle docked into panel, filling it; null when the handle names none.
QWidget* DockFrame(std::int32_t handle, QWidget* panel);
// Takes the frame out of the panel again, hidden and without a parent, so that only
// its driver frees it.
void UndockFrame(QWidget* frame, QWidget* panel);

}  // namespace tolver
