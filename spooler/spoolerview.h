#pragma once
// What the spooler's logic and the automation server ask of the window over the
// logic (TfrmMain; a recording fake in the tests). Everything runs on the main thread.

#include <cstdint>
#include <functional>
#include <string>

namespace tolver {

class ISpoolerView {
public:
    virtual ~ISpoolerView() = default;
    virtual void SetInfo(const std::string& text) = 0;  // lInfo
    virtual void ShowStatus() = 0;                      // show the status window
    virtual void HideStatus() = 0;
    virtual void SetMenuFull(bool full) = 0;
    virtual void PrintChar(std::int32_t code) = 0;  // the cash tape
    virtual void StartCommandResultTimer() = 0;     // the 50 ms delivery timer
    virtual void PushDriverProperties() = 0;        // the connection dialog, before a reconnect
    // Closes the main window from the event loop (the closing sequence follows).
    virtual void PostClose() = 0;
    // The spooler's message box (spoolermessage.h): 0 for "Да" or "OK", -1 otherwise.
    virtual int ShowMessage(const std::string& text, const std::string& title, bool yesNo) = 0;
    // Shows a message box from the event loop, after the current call has returned.
    virtual void PostMessage(const std::string& text, const std::string& title) = 0;
    // The link's state, its connect error or the last poll's outcome changed.
    virtual void LinkChanged() = 0;
    // The first connect has been made; loadError says why the setup could not be read
    // (empty when it was).
    virtual void Started(const std::string& loadError) = 0;

    // The modal sign-on dialog, shown from the event loop after the current call has
    // returned (its own loop serves the others meanwhile); done gets the sign-on
    // result, -1 when cancelled, once the dialog has closed.
    virtual void PostRegDialog(std::function<void(std::int32_t)> done) = 0;
    virtual void ShowReports() = 0;  // the reports window (modeless)
    // The text that the connection dialog's driver list shows now; empty without dialogs.
    virtual std::string DriverInfo() = 0;
    // Enables the menu's connection, settings, programming and pause items and picks
    // the default item.
    virtual void SetControlEnabled(bool enabled) = 0;
};

}  // namespace tolver
