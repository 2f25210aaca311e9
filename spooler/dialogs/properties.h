#pragma once
// The settings dialog ("Параметры"): tax rates, departments, articles and cashiers,
// the number of decimal places, the receipt header and footer, the report window's
// confirmations and the reports run around a cashier's sign-on, and the connected
// driver's advanced page. It edits the main window's EditSetup in place; every list
// is checked against the driver's limits and the breaking rows are marked, but OK is
// never refused.

#include <QAbstractTableModel>
#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <vector>

#include "common/cashgl.h"
#include "spooler/dialogs/propertieslogic.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QWidget;

namespace tolver {

class TDialogHost;

// The rows of one item list: each row refers to an item of the edit copy. Cells are
// formatted when the view asks for them, so that a long list costs no pass per row.
class TItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TItemListModel(TItemListKind kind, const TCashDriverConstraints& limits, QObject* parent = nullptr);

    TItemListKind Kind() const { return kind_; }
    // One row per item of the list, in collection order.
    void Fill(TXtCollection& list);
    int AddRow(TXtCollectionItem* item);  // the new row's index
    void RemoveRow(int row);
    TXtCollectionItem* ItemAt(int row) const;
    int RowOf(const TXtCollectionItem* item) const;
    // Sorts the rows again by the column and order last chosen.
    void Resort();
    void Refresh();  // every row shown again (after a check)

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // A name was edited in place.
    void NameEdited(TXtCollectionItem* item);

private:
    TItemListKind kind_;
    const TCashDriverConstraints& limits_;
    std::vector<TXtCollectionItem*> rows_;
    int sortColumn_ = 1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QIcon normal_, error_;
};

class TfrmProperties : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProperties(TDialogHost& host, QWidget* parent = nullptr);
    ~TfrmProperties() override;

    // The whole run of the menu item "&Параметры": true when it ended with OK.
    bool Execute();
    // The parts of a run: Prepare (edit copy from the live setup, the advanced page
    // docked, the pages filled), Apply (OK's steps), Finish (the page undocked; after
    // Cancel the driver gets its stored advanced settings back).
    void Prepare();
    void Apply();
    void Finish(bool accepted);

    void DockAdvPage();
    void UndockAdvPage();
    // Fills every page from the edit copy.
    void FormActivate();
    void FillReports();
    // The dialog's own values into a setup: the confirmations, the report picks (kept
    // as they are where the driver gave no list), the digit count, the messages.
    void StoreControls(TSpoolerSetup& setup) const;

    // Per list, as the buttons and the panel do it.
    void AddItem(TItemListKind kind);
    void DeleteSelected(TItemListKind kind);
    void SelectRow(TItemListKind kind, int row);
    // The edit panel into the selected item.
    void StorePanel(TItemListKind kind);
    void Import(TItemListKind kind);
    // Re-marks a list against the limits and sets its status line.
    void CheckList(TItemListKind kind);

    // The folder of a previous installation (a folder browser with the prompt); empty
    // when the user cancels. Tests put their own here.
    std::function<QString(const QString& prompt)> ChooseFolder;

    struct ListPage {
        QTreeView* view = nullptr;
        TItemListModel* model = nullptr;
        QToolButton* bAdd = nullptr;
        QToolButton* bDel = nullptr;
        QToolButton* bImport = nullptr;
        QWidget* panel = nullptr;  // ScrollBox1..4
        QLabel* info = nullptr;
        QLabel* error = nullptr;
    };
    const ListPage& Page(TItemListKind kind) const { return pages_[static_cast<int>(kind)]; }

    QTabWidget* PageControl = nullptr;
    QSpinBox* seditTaxN = nullptr;
    QDoubleSpinBox* ceditTaxValue = nullptr;
    QDoubleSpinBox* ceditTaxValueAdv = nullptr;
    QSpinBox* seditDepN = nullptr;
    QSpinBox* seditDepNTax = nullptr;
    QSpinBox* seditArtN = nullptr;
    QSpinBox* seditArtNDep = nullptr;
    QSpinBox* seditArtNTax = nullptr;
    QDoubleSpinBox* ceditPrice = nullptr;
    QCheckBox* cbReturn = nullptr;
    QDoubleSpinBox* ceditTotalCount = nullptr;
    QSpinBox* seditOpN = nullptr;
    QLineEdit* editOpPassword = nullptr;
    QSpinBox* seditDigitCount = nullptr;
    QWidget* panelAdvProperties = nullptr;
    QPlainTextEdit* memoBeginMsg = nullptr;
    QPlainTextEdit* memoFinalMsg = nullptr;
    QWidget* panelBeginMsgBorder = nullptr;
    QWidget* panelFinalMsgBorder = nullptr;
    QLabel* lMsgInfo = nullptr;
    QCheckBox* cbConfirmXReport = nullptr;
    QCheckBox* cbConfirmZReport = nullptr;
    QTreeWidget* listviewXReports = nullptr;
    QTreeWidget* listviewZReports = nullptr;
    QPushButton* bOk = nullptr;
    QPushButton* bCancel = nullptr;
    QTimer Timer;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* MakeListPage(TItemListKind kind, const QStringList& panelLabels, const std::vector<QWidget*>& panelEdits);
    QWidget* MakeReportsPage();
    QWidget* MakeInfoPage();
    QWidget* MakeAdvPage();
    void FillList(TItemListKind kind);
    void LoadPanel(TItemListKind kind, TXtCollectionItem* item);
    TXtCollectionItem* SelectedItem(TItemListKind kind) const;
    void OnSelectionChanged(TItemListKind kind);
    void TimerTimer();
    void PlaceMsgBars();
    TXtCollection& List(TItemListKind kind);
    ListPage& PageOf(TItemListKind kind) { return pages_[static_cast<int>(kind)]; }

    TDialogHost& host_;
    std::array<ListPage, 4> pages_;
    QPointer<QWidget> advPage_;
    bool xReportsLoaded_ = false;
    bool zReportsLoaded_ = false;
    QIcon checked_, unchecked_, report_;
};

}  // namespace tolver
