#pragma once
// The reports window ("Отчеты КА") and the programming window ("Программирование"):
// modeless check-box lists of what the driver names, run with "Выполнить".

#include <QWidget>

class QLabel;
class QToolButton;
class QTreeWidget;
class QSplitter;

namespace tolver {

class TDialogHost;
class TFormStorage;
struct TMarkedRows;

// A one-column check-box list as both windows use it.
QTreeWidget* MakeCheckList(const QString& column, QWidget* parent);
// Rows with those captions, all unmarked.
void FillCheckList(QTreeWidget* list, const std::vector<std::string>& names);
TMarkedRows MarkedRows(QTreeWidget* list);
void UncheckAll(QTreeWidget* list);

// What both windows share: the content at the left, the flat tool bar with the run
// button and "Закрыть" at the right, the note under both, the placement kept in the
// registry store; the lists are reloaded whenever the window becomes active.
class TCheckListWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the window and brings it forward.
    void ShowWindow();
    virtual void FormActivate() = 0;
    virtual void UncheckAll() = 0;
    virtual void Run() = 0;

    TFormStorage* FormStorage = nullptr;

protected:
    TCheckListWindow(TDialogHost& host, const char* caption, const char* storageKey);
    // Lays content out and makes the two buttons with the object names given.
    void Build(QWidget* content, const char* runName, const char* closeName, const char* note);
    void changeEvent(QEvent* event) override;

    TDialogHost& host_;
    QToolButton* run_ = nullptr;
    QToolButton* close_ = nullptr;
};

class TfrmReports : public TCheckListWindow {
    Q_OBJECT
public:
    explicit TfrmReports(TDialogHost& host);

    // Menu "&Отчеты КА" and the automation members GetReports and GetReportsDialog.
    void ShowReports() { ShowWindow(); }
    // Reloads both lists from the driver and clears the marks.
    void FormActivate() override;
    void LoadReportLists();
    void UncheckAll() override;
    void Run() override { bReportClick(); }
    void bReportClick();

    QTreeWidget* listviewXReports = nullptr;
    QTreeWidget* listviewZReports = nullptr;
    QSplitter* splitter = nullptr;
    QToolButton* bReport = nullptr;
    QToolButton* ToolButton5 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool heightRestored_ = false;
};

class TfrmProgram : public TCheckListWindow {
    Q_OBJECT
public:
    explicit TfrmProgram(TDialogHost& host);

    void FormActivate() override;
    void FillItems(const std::string& text);
    void UncheckAll() override;
    void Run() override { bProgramClick(); }
    void bProgramClick();

    QTreeWidget* listviewProgram = nullptr;
    QToolButton* bProgram = nullptr;
    QToolButton* ToolButton1 = nullptr;

protected:
    // Centred on the screen when first shown, unless a stored placement was put on it.
    void showEvent(QShowEvent* event) override;

private:
    bool shown_ = false;
};

}  // namespace tolver
