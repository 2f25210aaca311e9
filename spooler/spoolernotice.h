#pragma once
// The notices of the spooler's message boxes and status texts: each box shown, and
// what the status window says, is also told on standard error and to a log sink (the
// spooler's protocol log), for whoever has no display to see it. The box itself is
// the window's (spoolermessage.h); the spooler's logic asks for it through its view.

#include <functional>
#include <string>

namespace tolver {

inline constexpr const char* kTitleError = "Тольвер. Ошибка";
inline constexpr const char* kTitleMessage = "Тольвер. Сообщение";
inline constexpr const char* kTitleQuery = "Тольвер. Запрос";
inline constexpr const char* kTitleConfirm = "Тольвер. Подтверждение";

// Receives the notice of every box shown, before the box waits; an empty sink sends
// them to standard error only. Returns the previous sink.
using TSpoolerMessageLog = std::function<void(const std::string& Line)>;
TSpoolerMessageLog SetSpoolerMessageLog(TSpoolerMessageLog log);
// The text with every control character other than CR, LF and tab shown as "<1B>":
// a client's text must not reach a terminal or the log as raw escape sequences.
std::string VisibleControls(const std::string& Text);
// Tells a line on standard error ("Spooler: " before it) and to the log sink: what
// the status window or a box shows, for whoever has no display to see it.
void SpoolerNotice(const std::string& Line);
// The notice, one line: the title, the answers the box waits for ("OK", or "Да" and
// "Нет") and the text with its line breaks as blanks.
std::string SpoolerMessageNotice(const std::string& Text, const std::string& Title, bool YesNo);

}  // namespace tolver
