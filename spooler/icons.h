#pragma once
// The spooler's pictures, drawn rather than shipped: the application icon (a small
// cash register) and its tray variants, whose lamp shows the link to the register.

#include <QIcon>

namespace tolver {

enum class TLinkLamp { Connected, Busy, Down };

// The application icon; with a lamp, the tray icon for that link state: green when
// the register answers, amber while the link is restored or taken down, red when it
// is down.
QIcon SpoolerIcon();
QIcon SpoolerIcon(TLinkLamp lamp);

}  // namespace tolver
