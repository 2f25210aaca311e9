#pragma once
// The spooler's own message box. Every question and message of the spooler (its
// main window, the dialogs, the automation server) goes through ShowSpoolerMessage:
// a stay-on-top box at the bottom right of the screen, "Да"/"Нет" or a single "OK".
//
// Tests script the answers with TSpoolerMessageScript (or any handler set with
// SetSpoolerMessageHandler): while a handler is set no box is shown and the handler's
// answer is returned.
//
// A box holds whatever waits for its answer (a driver's step, and with it the
// register's queue) and, where no display exists, nobody can see it: so every box
// shown is also told on standard error and to the log sink (the spooler's protocol
// log), with its title, the answers it waits for and its text. Where nobody can see
// it (the offscreen platform) a box that only informs (an error, a message) is not
// waited for at all: it answers OK at once. A question (Yes/No, or a driver's
// "Тольвер. Запрос" that asks the operator to act at the register) waits at most
// kUnattendedQuestionWait and is then answered as cancelled, which is told as well.

#include <QDialog>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "spooler/spoolernotice.h"

class QLabel;
class QPushButton;

namespace tolver {

// 0 when the box was closed with its first button ("Да" or "OK"), -1 otherwise.
// In the OK form Escape answers 0 as well.
int ShowSpoolerMessage(const std::string& Text, const std::string& Title, bool YesNo);

// How long a question that nobody can see waits before it is answered as cancelled.
inline constexpr std::chrono::seconds kUnattendedQuestionWait{30};
// Whether somebody can see the boxes: not on the offscreen platform. Tests of the box
// itself set it (nullopt goes back to the platform's answer), and the wait.
bool SpoolerMessageSeen();
void SetSpoolerMessageSeen(std::optional<bool> seen);
void SetUnattendedQuestionWait(std::chrono::milliseconds wait);

using TSpoolerMessageHandler = std::function<int(const std::string& Text, const std::string& Title, bool YesNo)>;
// Replaces the box; an empty handler brings the box back. Returns the previous one.
TSpoolerMessageHandler SetSpoolerMessageHandler(TSpoolerMessageHandler handler);

// A scripted box for tests: records every box asked for and answers from a queue
// (0 when the queue is empty). Installs itself for its lifetime.
class TSpoolerMessageScript {
public:
    struct Box {
        std::string Text, Title;
        bool YesNo;
    };
    TSpoolerMessageScript();
    ~TSpoolerMessageScript();
    TSpoolerMessageScript(const TSpoolerMessageScript&) = delete;
    TSpoolerMessageScript& operator=(const TSpoolerMessageScript&) = delete;

    std::deque<int> Answers;
    std::vector<Box> Boxes;
    // Runs inside the box, before it answers (a box holds the event loop, so this is
    // where tests do what happens "while the box is open").
    std::function<void(const Box&)> WhileOpen;

private:
    TSpoolerMessageHandler previous_;
};

// The box itself: dialog border, stays on top, client area 293 x 153.
class TfrmMyMessage : public QDialog {
    Q_OBJECT
public:
    TfrmMyMessage(const std::string& Text, const std::string& Title, bool YesNo, QWidget* parent = nullptr);

    QLabel* lText;
    QPushButton* bOk;
    QPushButton* bCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool yesNo_;
};

}  // namespace tolver
