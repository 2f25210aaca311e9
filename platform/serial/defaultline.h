#pragma once
// The serial line and clock of the protocol engines that drivers make for the host
// (a driver object created through its class factory): a termios port on the system
// clock, unless a test has put in others. The setting is process-wide and lives in
// libtolver, so that it reaches the engines inside driver modules too; a test sets
// it before it creates the driver object and clears it after.

#include <functional>
#include <memory>

#include "platform/serial/serialport.h"
#include "platform/timing/clock.h"

namespace tolver {

using TPortMaker = std::function<std::unique_ptr<TSerialPort>()>;

// makePort and clock replace the defaults; an empty maker or a null clock puts the
// default back.
void SetDefaultLine(TPortMaker makePort, TClock* clock);
// A new port of the default line.
std::unique_ptr<TSerialPort> MakeDefaultPort();
TClock& DefaultLineClock();

}  // namespace tolver
