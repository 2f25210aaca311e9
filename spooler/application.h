#pragma once
// The application as the spooler runs it: its name and icon, Qt's own dialogs and
// buttons in Russian (Qt's translations), and no end when the last window closes (the
// program lives in the tray). No display name is set: the window system would add it
// to every caption, and the captions are the windows' own, whole.

#include <memory>

#include "spooler/mainform.h"

class QApplication;

namespace tolver {

void SetUpSpoolerApplication(QApplication& app);

// The spooler's logic and its main window, made and started in the program's order:
// the core with its setup loaded, the main window (with its dialogs) over it, then the
// driver object and the link. On the way out the driver object goes before the window.
class TSpoolerProgram {
public:
    explicit TSpoolerProgram(TIOnlyOnce* guard = nullptr, TSpoolerCore::TObjectFactory createObject = {},
                             const TSpoolerDialogsFactory& dialogs = {});
    ~TSpoolerProgram();
    TSpoolerProgram(const TSpoolerProgram&) = delete;
    TSpoolerProgram& operator=(const TSpoolerProgram&) = delete;

    TSpoolerCore& Core() { return core_; }
    TfrmMain& Main() { return *main_; }

private:
    TSpoolerCore core_;
    std::unique_ptr<TfrmMain> main_;
};

}  // namespace tolver
