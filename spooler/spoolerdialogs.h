#pragma once
// The dialog windows of the menu as the main window sees them. The main window
// creates them once, in its creation step (after the setup is loaded, before the
// driver object), through the factory it is given, and destroys them with itself.
// Without dialogs those menu items do nothing.

#include <functional>
#include <memory>
#include <string>

namespace tolver {

class TfrmMain;

class ISpoolerDialogs {
public:
    virtual ~ISpoolerDialogs() = default;
    // "По&дключение": the connection dialog with its apply step.
    virtual void ShowConnection() = 0;
    // "&Параметры": the settings dialog; on OK it fills the main window's Setup from
    // its pages and runs the main window's apply step.
    virtual void ShowSettings() = 0;
    // "&Отчеты КА" and the automation members GetReports / GetReportsDialog (modeless).
    virtual void ShowReports() = 0;
    // "Про&граммирование" (modeless).
    virtual void ShowProgram() = 0;
    // Before a reconnect: the connection dialog pushes its stored driver settings into
    // the driver object that it edits, if it holds one.
    virtual void PushDriverProperties() = 0;
    // The caption of the connection dialog's selected driver entry (DriverInfo).
    virtual std::string DriverInfo() = 0;
};

using TSpoolerDialogsFactory = std::function<std::unique_ptr<ISpoolerDialogs>(TfrmMain& main)>;

}  // namespace tolver
