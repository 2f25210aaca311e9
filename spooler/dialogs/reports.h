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

class TfrmReports : public QWidget {
    Q_OBJECT
public:
    explicit TfrmReports(TDialogHost& host, QWidget* parent = nullptr);

    // Shows the window and brings it forward (menu "&Отчеты КА", the automation
    // members GetReports and GetReportsDialog).
    void ShowReports();
    // Reloads both lists from the driver and clears the marks; runs whenever the
    // window becomes active.
    void FormActivate();
    void LoadReportLists();
    void UncheckAll();
    void bReportClick();

    QTreeWidget* listviewXReports = nullptr;
    QTreeWidget* listviewZReports = nullptr;
    QSplitter* splitter = nullptr;
    QToolButton* bReport = nullptr;
    QToolButton* ToolButton5 = nullptr;
    TFormStorage* FormStorage = nullptr;  // placement and the X list's height

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TDialogHost& host_;
    bool heightRestored_ = false;
};

class TfrmProgram : public QWidget {
    Q_OBJECT
public:
    explicit TfrmProgram(TDialogHost& host, QWidget* parent = nullptr);

    void FormActivate();
    void FillItems(const std::string& text);
    void UncheckAll();
    void bProgramClick();

    QTreeWidget* listviewProgram = nullptr;
    QToolButton* bProgram = nullptr;
    QToolButton* ToolButton1 = nullptr;
    TFormStorage* FormStorage = nullptr;

protected:
    void changeEvent(QEvent* event) override;

private:
    TDialogHost& host_;
};

}  // namespace tolver
