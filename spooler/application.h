#pragma once
// The application as the spooler runs it: its name and icon, Qt's own dialogs and
// buttons in Russian (Qt's translations), and no end when the last window closes (the
// program lives in the tray). No display name is set: the window system would add it
// to every caption, and the captions are the windows' own, whole.

class QApplication;

namespace tolver {

void SetUpSpoolerApplication(QApplication& app);

}  // namespace tolver
