#pragma once
// The cash tape: a window that mirrors what the register prints, one character at
// a time as the driver reports it. It cannot be typed into, only scrolled and
// selected; a double click closes it; past 1000 lines it starts afresh.

#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>

namespace tolver {

class TFormStorage;

// The memo of the tape: drops every key but Page Up, Page Down, Up and Down.
class TTapeMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TTapeMemo(QWidget* parent = nullptr);

signals:
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class TfrmPrint : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 1000;

    explicit TfrmPrint(QWidget* parent = nullptr);

    // One printed character (code page 1251 code): 10 starts a new line, 13 is
    // dropped, anything else goes at the end of the last line.
    void AddChar(std::int32_t code);
    // The tape's lines.
    QStringList Lines() const;

    TTapeMemo* memo;
    TFormStorage* FormStorage;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void memoChange();
    int lineCount_ = 0;
};

}  // namespace tolver
