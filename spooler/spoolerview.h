#pragma once
// What the spooler's logic asks of the window around it (TfrmMain; a recording fake
// in the tests). Everything runs on the main thread.

#include <cstdint>
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
};

}  // namespace tolver
