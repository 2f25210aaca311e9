#pragma once
// How the parts of the program that live in subfolders of spooler/ join it without
// the main window knowing their classes: each registers itself from a static
// initializer of one of its own .cpp files (the executable links spooler_core whole,
// so such a file is always kept).
//
//   static const bool registered = tolver::RegisterSpoolerExtension({
//       .Name = "automation",
//       .CommandLine = [](const QStringList& args) { ...; return -1; },
//       .BeforeMainWindow = [] { ... },
//       .AfterMainWindow = [](tolver::TfrmMain& main) { ... },
//   });
//
//   static const bool dialogs = tolver::RegisterSpoolerDialogs(
//       [](tolver::TfrmMain& main) -> std::unique_ptr<tolver::ISpoolerDialogs> { ... });

#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolver {

class TfrmMain;

struct TSpoolerExtension {
    std::string Name;
    // Before anything else, with the program's arguments (without the program name);
    // an exit code >= 0 ends the program at once with it ("REGSERVER"), -1 goes on.
    // Runs also in a second instance, before the single-instance guard.
    std::function<int(const QStringList& args)> CommandLine;
    // In the one running instance, before the main window exists.
    std::function<void()> BeforeMainWindow;
    // Right after the main window has been created (its shared state exists).
    std::function<void(TfrmMain& main)> AfterMainWindow;
    // When the main window has closed, before it is destroyed.
    std::function<void()> AtExit;
};

bool RegisterSpoolerExtension(TSpoolerExtension extension);
const std::vector<TSpoolerExtension>& SpoolerExtensions();

// The dialog windows of the menu. The main window creates them once, in its
// creation step (after the setup is loaded, before the driver object), and destroys
// them with itself. Without registered dialogs those menu items do nothing.
class ISpoolerDialogs {
public:
    virtual ~ISpoolerDialogs() = default;
    // "По&дключение": the connection dialog with its apply step.
    virtual void ShowConnection() = 0;
    // "&Параметры": the settings dialog; on OK it fills the main window's Setup from
    // its pages and calls TfrmMain::ApplySettings.
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
bool RegisterSpoolerDialogs(TSpoolerDialogsFactory factory);
const TSpoolerDialogsFactory& SpoolerDialogsFactory();

}  // namespace tolver
