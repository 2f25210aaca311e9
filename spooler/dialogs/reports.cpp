#include "spooler/dialogs/reports.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "spooler/dialogs/dialoghost.h"
#include "spooler/dialogs/itemlists.h"
#include "spooler/dialogs/reportsrun.h"
#include "spooler/formstorage.h"

namespace tolver {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The flat tool bar at the right: the run button and "Закрыть", captions under images.
QToolBar* MakeToolBar(QWidget* parent, QToolButton*& run, QToolButton*& close) {
    auto* bar = new QToolBar(parent);
    bar->setOrientation(Qt::Vertical);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(32, 32));
    run = new QToolButton(bar);
    run->setText("Выполнить");
    run->setIcon(parent->style()->standardIcon(QStyle::SP_DialogApplyButton));
    run->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    run->setMinimumWidth(84);
    close = new QToolButton(bar);
    close->setText("Закрыть");
    close->setIcon(parent->style()->standardIcon(QStyle::SP_DialogCloseButton));
    close->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    close->setMinimumWidth(84);
    bar->addWidget(run);
    bar->addWidget(close);
    return bar;
}

QLabel* MakeNote(const char* text, QWidget* parent) {
    auto* note = new QLabel(text, parent);
    note->setWordWrap(true);
    return note;
}

}  // namespace

QTreeWidget* MakeCheckList(const QString& column, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(1);
    list->setHeaderLabels({column});
    list->header()->setStretchLastSection(true);
    list->header()->setSectionsClickable(false);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAlternatingRowColors(true);
    list->setStyleSheet("QTreeView::item { min-height: 22px; }");
    return list;
}

void FillCheckList(QTreeWidget* list, const std::vector<std::string>& names) {
    list->clear();
    QList<QTreeWidgetItem*> rows;
    for (const std::string& name : names) {
        auto* row = new QTreeWidgetItem({Q(name)});
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(0, Qt::Unchecked);
        row->setToolTip(0, Q(name));
        rows.append(row);
    }
    list->addTopLevelItems(rows);
    // The names are shown whole: the list is never narrower than its widest row.
    const int widest = std::max(0, static_cast<QAbstractItemView*>(list)->sizeHintForColumn(0));
    list->setMinimumWidth(widest + 2 * list->frameWidth() + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
}

TMarkedRows MarkedRows(QTreeWidget* list) {
    TMarkedRows rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        rows.Names.push_back(list->topLevelItem(i)->text(0).toStdString());
        rows.Marks.push_back(list->topLevelItem(i)->checkState(0) == Qt::Checked);
    }
    return rows;
}

void UncheckAll(QTreeWidget* list) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

// ---- the shared window ---------------------------------------------------------------

TCheckListWindow::TCheckListWindow(TDialogHost& host, const char* caption, const char* storageKey)
    : QWidget(nullptr, Qt::Window), host_(host) {
    setWindowTitle(caption);
    FormStorage = new TFormStorage(this, storageKey);
}

void TCheckListWindow::Build(QWidget* content, const char* runName, const char* closeName, const char* note) {
    QToolBar* bar = MakeToolBar(this, run_, close_);
    run_->setObjectName(runName);
    close_->setObjectName(closeName);
    connect(run_, &QToolButton::clicked, this, [this] { Run(); });
    connect(close_, &QToolButton::clicked, this, [this] {
        UncheckAll();
        hide();
    });
    auto* top = new QHBoxLayout;
    top->addWidget(content, 1);
    top->addWidget(bar);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(MakeNote(note, this));
}

void TCheckListWindow::ShowWindow() {
    show();
    raise();
    activateWindow();
}

void TCheckListWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

// ---- reports window ---------------------------------------------------------------

TfrmReports::TfrmReports(TDialogHost& host)
    : TCheckListWindow(host, "Отчеты КА", "\\Software\\Norvale\\Spooler\\ReportsForm") {
    setObjectName("frmReports");
    setWindowFlag(Qt::WindowStaysOnTopHint);
    resize(521, 534);
    splitter = new QSplitter(Qt::Vertical, this);
    listviewXReports = MakeCheckList("Текущие Х-отчеты и другие", splitter);
    listviewXReports->setObjectName("listviewXReports");
    listviewZReports = MakeCheckList("Обнуляющие Z-отчеты", splitter);
    listviewZReports->setObjectName("listviewZReports");
    splitter->setChildrenCollapsible(false);
    Build(splitter, "bReport", "ToolButton5",
          "Отчеты следует выполнять в соответствии с руководством по эксплуатации кассового аппарата. Для некоторый "
          "моделей кассовых аппаратов отчеты следует выполнять в определенной последовательности");
    bReport = run_;
    ToolButton5 = close_;
}

void TfrmReports::FormActivate() {
    LoadReportLists();
    UncheckAll();
}

void TfrmReports::LoadReportLists() {
    if (!host_.DriverExists()) return;
    try {
        const std::string x = host_.XReportItems();
        const std::string z = host_.ZReportItems();
        FillCheckList(listviewXReports, SplitItemNames(x));
        FillCheckList(listviewZReports, SplitItemNames(z));
    } catch (...) {
    }
}

void TfrmReports::UncheckAll() {
    tolver::UncheckAll(listviewXReports);
    tolver::UncheckAll(listviewZReports);
}

void TfrmReports::bReportClick() {
    RunReports(host_, MarkedRows(listviewXReports), MarkedRows(listviewZReports));
    UncheckAll();
}

void TfrmReports::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (heightRestored_) return;
    heightRestored_ = true;
    const int height = FormStorage->ReadInteger("XReportsHeight", -1);
    const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
    if (height > 0 && height < total) splitter->setSizes({height, total - height});
}

void TfrmReports::hideEvent(QHideEvent* event) {
    try {
        FormStorage->WriteInteger("XReportsHeight", listviewXReports->height());
    } catch (const std::exception&) {
    }
    QWidget::hideEvent(event);
}

// ---- programming window -----------------------------------------------------------

TfrmProgram::TfrmProgram(TDialogHost& host)
    : TCheckListWindow(host, "Программирование", "\\Software\\Norvale\\Spooler\\ProgramForm") {
    setObjectName("frmProgram");
    resize(521, 420);
    listviewProgram = MakeCheckList("Позиции для программирования", this);
    listviewProgram->setObjectName("listviewProgram");
    Build(listviewProgram, "bProgram", "ToolButton1",
          "Программирование следует выполнять в соответствии с руководством по эксплуатации кассового аппарата. "
          "Перед программированием некоторых параметров необходимо выполнить обнуляющие Z-отчеты");
    bProgram = run_;
    ToolButton1 = close_;
}

void TfrmProgram::FormActivate() {
    listviewProgram->clear();
    if (!host_.DriverExists()) return;
    try {
        FillItems(host_.ProgramItems());
        UncheckAll();
    } catch (...) {
    }
}

void TfrmProgram::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (std::exchange(shown_, true) || FormStorage->Placed()) return;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmProgram::FillItems(const std::string& text) { FillCheckList(listviewProgram, SplitItemNames(text)); }

void TfrmProgram::UncheckAll() { tolver::UncheckAll(listviewProgram); }

void TfrmProgram::bProgramClick() {
    RunProgram(host_, MarkedRows(listviewProgram).Marks);
    UncheckAll();
}


}  // namespace tolver
