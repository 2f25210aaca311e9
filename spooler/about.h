#pragma once
// The about box: product name, version, copyright, the system and its memory, with
// the given icon at the left. A click on it closes it.

#include <QDialog>
#include <QIcon>

#include <string>

class QLabel;
class QFrame;

namespace tolver {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // fileName: the program file whose version block is shown.
    TfrmAbout(const QIcon& icon, const std::string& fileName, QWidget* parent = nullptr);

    QLabel* labelProductName;
    QLabel* labelVersion;
    QLabel* labelLegalCopyright;
    QLabel* labelWinType;
    QLabel* labelMemAvailible;
    QLabel* iconProgram;
    QFrame* Panel1;
    QFrame* Panel2;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// "Memory available: 16 314 988 Кбайт": kilobytes grouped by three.
std::string MemoryText(long long kilobytes);

// Shows the about box of the running program modally.
void ShowAbout(const QIcon& Icon);

}  // namespace tolver
