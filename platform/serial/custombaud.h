#pragma once
// Rates that termios has no constant for, through termios2 and BOTHER. Kept apart
// because the kernel's termios2 header cannot share a unit with <termios.h>.

namespace tolver {

// Sets both directions of the tty fd to baud bits per second; false (errno set) when
// the device refuses.
bool SetCustomBaud(int fd, int baud);
// The output rate the tty fd is set to, in bits per second; -1 when unknown.
int LineBaud(int fd);

}  // namespace tolver
