#include "spooler/dialogs/properties.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/com/comptr.h"
#include "drivers/contract/chosenitems.h"
#include "platform/com/dispatch.h"
#include "spooler/dialogs/folderbrowser.h"
#include "spooler/dialogs/framedock.h"
#include "spooler/dialogs/dialoghost.h"
#include "spooler/dialogs/dialogrun.h"
#include "spooler/dialogs/itemlists.h"
#include "spooler/dialogs/paradoximport.h"
#include "spooler/spoolermessage.h"

namespace tolver {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// ---- pictures ---------------------------------------------------------------------

QIcon RowIcon(bool error) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (error) {
        p.setBrush(QColor(200, 30, 30));
        p.setPen(Qt::NoPen);
        p.drawEllipse(1, 1, 14, 14);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(8, 4, 8, 9);
        p.drawPoint(8, 12);
    } else {
        p.setBrush(QColor(245, 245, 235));
        p.setPen(QColor(90, 110, 140));
        p.drawRect(3, 1, 10, 13);
        p.drawLine(5, 5, 11, 5);
        p.drawLine(5, 8, 11, 8);
        p.drawLine(5, 11, 9, 11);
    }
    return QIcon(pixmap);
}

QIcon CheckIcon(QWidget* widget, bool checked) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QStyleOptionButton option;
    option.rect = QRect(1, 1, 14, 14);
    option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &p, widget);
    return QIcon(pixmap);
}

// ---- columns ----------------------------------------------------------------------

struct Column {
    const char* title;
    int width;  // 0: takes the free width
};

const std::vector<Column>& Columns(TItemListKind kind) {
    static const std::vector<Column> tax{{"Наименование", 0}, {"№", 50}, {"Величина", 80}, {"Сбор", 80}};
    static const std::vector<Column> dep{{"Наименование", 0}, {"№", 50}, {"Ставка НДС", 85}};
    static const std::vector<Column> art{{"Наименование", 0}, {"№", 55}, {"Отдел", 50},
                                         {"Ставка НДС", 85},  {"Цена", 75}, {"Наличие", 75}};
    static const std::vector<Column> op{{"Имя", 0}, {"№", 50}, {"Пароль", 100}};
    switch (kind) {
        case TItemListKind::Tax: return tax;
        case TItemListKind::Dep: return dep;
        case TItemListKind::Art: return art;
        case TItemListKind::Op: break;
    }
    return op;
}

// The value a numeric column sorts by; the name and password columns sort as text.
double NumberKey(const TXtCollectionItem* item, int column) {
    if (column == 1) return item->N;
    if (auto* tax = dynamic_cast<const TCashTaxProperties*>(item))
        return (column == 2 ? tax->Value : tax->ValueAdv).ToDouble();
    if (auto* dep = dynamic_cast<const TCashDepProperties*>(item)) return dep->NTax;
    if (auto* art = dynamic_cast<const TCashArtProperties*>(item)) {
        switch (column) {
            case 2: return art->NDep;
            case 3: return art->NTax;
            case 4: return art->Price.ToDouble();
            default: return art->TotalCount.ToDouble();
        }
    }
    return 0;
}

std::string TextKey(const TXtCollectionItem* item, int column) {
    if (column == 0) return ItemName(*item);
    if (auto* op = dynamic_cast<const TCashOpProperties*>(item)) return op->Password;
    return {};
}

bool TextColumn(TItemListKind kind, int column) { return column == 0 || (kind == TItemListKind::Op && column == 2); }

QSpinBox* NumberSpin(int max, QWidget* parent, const char* name) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(1, max);
    spin->setProperty("lo", 1);
    spin->setProperty("hi", max);
    return spin;
}

QDoubleSpinBox* AmountEdit(int decimals, double max, const char* suffix, QWidget* parent, const char* name) {
    auto* edit = new QDoubleSpinBox(parent);
    edit->setObjectName(name);
    edit->setDecimals(decimals);
    edit->setRange(0, max);
    edit->setProperty("lo", 0.0);
    edit->setProperty("hi", max);
    edit->setSuffix(suffix);
    edit->setGroupSeparatorShown(true);
    edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
    return edit;
}

// Shows a stored value as it is: a value outside the edit's range (an imported
// number, a list stored by another program) widens the range for it, so that leaving
// the panel never changes the item unasked.
template <class Edit, class T>
void ShowValue(Edit* edit, T value) {
    const T lo = edit->property("lo").template value<T>(), hi = edit->property("hi").template value<T>();
    edit->setRange(std::min(lo, value), std::max(hi, value));
    edit->setValue(value);
}

// Whole ten-thousandths of an edit's value.
Currency CurrencyOf(const QDoubleSpinBox* edit) {
    return Currency::FromRaw(static_cast<std::int64_t>(std::llround(edit->value() * Currency::kScale)));
}

const char* const kImportPrompts[] = {
    "Укажите путь к подкаталогу установки предыдущей версии Тольвера или Brantle для импорта отделов.",
    "Укажите путь к подкаталогу установки предыдущей версии Тольвера или Brantle для импорта артикулов."};

}  // namespace

// ---- item list model ----------------------------------------------------------------

TItemListModel::TItemListModel(TItemListKind kind, const TCashDriverConstraints& limits, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind), limits_(limits), normal_(RowIcon(false)), error_(RowIcon(true)) {}

void TItemListModel::Fill(TXtCollection& list) {
    beginResetModel();
    rows_.clear();
    rows_.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) rows_.push_back(list.GetItem(i));
    endResetModel();
}

int TItemListModel::AddRow(TXtCollectionItem* item) {
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    rows_.push_back(item);
    endInsertRows();
    return row;
}

void TItemListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

TXtCollectionItem* TItemListModel::ItemAt(int row) const {
    return row >= 0 && row < rowCount() ? rows_[static_cast<std::size_t>(row)] : nullptr;
}

int TItemListModel::RowOf(const TXtCollectionItem* item) const {
    const auto it = std::find(rows_.begin(), rows_.end(), item);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

void TItemListModel::Resort() { sort(sortColumn_, sortOrder_); }

void TItemListModel::Refresh() {
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int TItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns(kind_).size());
}

QVariant TItemListModel::data(const QModelIndex& index, int role) const {
    const TXtCollectionItem* item = ItemAt(index.row());
    if (!item) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
        case Qt::ToolTipRole:
            if (index.column() == 0) return Q(ItemName(*item));
            return Q(ItemCells(kind_, *item).at(static_cast<std::size_t>(index.column() - 1)));
        case Qt::DecorationRole:
            if (index.column() == 0) return item->Error || item->Duplicate ? error_ : normal_;
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == 0 || TextColumn(kind_, index.column())
                       ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                       : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

bool TItemListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TXtCollectionItem* item = ItemAt(index.row());
    if (!item || index.column() != 0 || role != Qt::EditRole) return false;
    const std::string name = value.toString().toStdString();
    if (auto* tax = dynamic_cast<TCashTaxProperties*>(item)) tax->Description = name;
    else if (auto* dep = dynamic_cast<TCashDepProperties*>(item)) dep->Description = name;
    else if (auto* art = dynamic_cast<TCashArtProperties*>(item)) art->Description = name;
    else if (auto* op = dynamic_cast<TCashOpProperties*>(item)) op->Description = name;
    emit dataChanged(index, index);
    emit NameEdited(item);
    return true;
}

QVariant TItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    const auto& columns = Columns(kind_);
    return section >= 0 && section < static_cast<int>(columns.size()) ? QString(columns[static_cast<std::size_t>(section)].title)
                                                                      : QVariant();
}

Qt::ItemFlags TItemListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

void TItemListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount()) return;
    sortColumn_ = column;
    sortOrder_ = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<TXtCollectionItem*> items;
    for (const QModelIndex& i : before) items.push_back(ItemAt(i.row()));
    const bool text = TextColumn(kind_, column);
    std::stable_sort(rows_.begin(), rows_.end(), [&](const TXtCollectionItem* a, const TXtCollectionItem* b) {
        if (order == Qt::DescendingOrder) std::swap(a, b);
        if (text) return QString::compare(Q(TextKey(a, column)), Q(TextKey(b, column)), Qt::CaseInsensitive) < 0;
        return NumberKey(a, column) < NumberKey(b, column);
    });
    QModelIndexList after;
    for (std::size_t k = 0; k < items.size(); ++k) after.append(index(RowOf(items[k]), before[static_cast<qsizetype>(k)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- the dialog ---------------------------------------------------------------------

TfrmProperties::TfrmProperties(TDialogHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName("frmProperties");
    setWindowTitle("Параметры");
    checked_ = CheckIcon(this, true);
    unchecked_ = CheckIcon(this, false);
    report_ = style()->standardIcon(QStyle::SP_FileIcon);
    ChooseFolder = [this](const QString& prompt) { return BrowseForFolder(prompt, this); };

    Timer.setSingleShot(true);
    Timer.setInterval(100);
    connect(&Timer, &QTimer::timeout, this, &TfrmProperties::TimerTimer);

    seditTaxN = NumberSpin(100, this, "seditTaxN");
    ceditTaxValue = AmountEdit(3, 100, " %", this, "ceditTaxValue");
    ceditTaxValueAdv = AmountEdit(3, 100, " %", this, "ceditTaxValueAdv");
    seditDepN = NumberSpin(100, this, "seditDepN");
    seditDepNTax = NumberSpin(100, this, "seditDepNTax");
    seditArtN = NumberSpin(10000, this, "seditArtN");
    seditArtNDep = NumberSpin(100, this, "seditArtNDep");
    seditArtNTax = NumberSpin(100, this, "seditArtNTax");
    ceditPrice = AmountEdit(2, 100000, "", this, "ceditPrice");
    cbReturn = new QCheckBox("Выплата", this);
    cbReturn->setObjectName("cbReturn");
    ceditTotalCount = AmountEdit(3, 9999.999, "", this, "ceditTotalCount");
    seditOpN = NumberSpin(1000, this, "seditOpN");
    editOpPassword = new QLineEdit(this);
    editOpPassword->setObjectName("editOpPassword");

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    PageControl->addTab(MakeListPage(TItemListKind::Tax, {"Номер:", "Величина:", "Сбор:"},
                                     {seditTaxN, ceditTaxValue, ceditTaxValueAdv}),
                        "Ставки НДС");
    PageControl->addTab(MakeListPage(TItemListKind::Dep, {"Номер:", "Cтавка НДС:"}, {seditDepN, seditDepNTax}), "Отделы");
    PageControl->addTab(MakeListPage(TItemListKind::Art, {"Номер:", "Отдел:", "Ставка НДС:", "Цена:", "", "Наличие:"},
                                     {seditArtN, seditArtNDep, seditArtNTax, ceditPrice, cbReturn, ceditTotalCount}),
                        "Артикулы");
    PageControl->addTab(MakeListPage(TItemListKind::Op, {"Номер:", "Пароль:"}, {seditOpN, editOpPassword}), "Кассиры");
    PageControl->addTab(MakeAdvPage(), "Дополнительные параметры");
    PageControl->addTab(MakeInfoPage(), "Информация на чеке");
    PageControl->addTab(MakeReportsPage(), "Отчеты");

    // Leaving a control of an edit panel stores the whole panel into the selected item.
    const std::pair<TItemListKind, std::vector<QAbstractSpinBox*>> spins[] = {
        {TItemListKind::Tax, {seditTaxN, ceditTaxValue, ceditTaxValueAdv}},
        {TItemListKind::Dep, {seditDepN, seditDepNTax}},
        {TItemListKind::Art, {seditArtN, seditArtNDep, seditArtNTax, ceditPrice, ceditTotalCount}},
        {TItemListKind::Op, {seditOpN}}};
    for (const auto& [kind, edits] : spins)
        for (QAbstractSpinBox* edit : edits)
            connect(edit, &QAbstractSpinBox::editingFinished, this, [this, kind = kind] { StorePanel(kind); });
    connect(cbReturn, &QCheckBox::clicked, this, [this] { StorePanel(TItemListKind::Art); });
    connect(editOpPassword, &QLineEdit::editingFinished, this, [this] { StorePanel(TItemListKind::Op); });

    bOk = new QPushButton("ОК", this);
    bOk->setObjectName("bOk");
    bOk->setAutoDefault(false);
    bCancel = new QPushButton("Отмена", this);
    bCancel->setObjectName("bCancel");
    bCancel->setAutoDefault(false);
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttons);
    // Wide enough that every page's tab shows without scrolling.
    resize(std::max(583, PageControl->tabBar()->sizeHint().width() + 40), 457);
    PageControl->setCurrentIndex(0);
}

TfrmProperties::~TfrmProperties() {
    // The driver owns its frame: never let the panel free it.
    if (advPage_) advPage_->setParent(nullptr);
    for (ListPage& page : pages_)
        if (page.view && page.view->selectionModel()) page.view->selectionModel()->clear();
}

TXtCollection& TfrmProperties::List(TItemListKind kind) { return ItemList(host_.EditSetup(), kind); }

QWidget* TfrmProperties::MakeListPage(TItemListKind kind, const QStringList& panelLabels,
                                      const std::vector<QWidget*>& panelEdits) {
    static const char* const names[][8] = {
        {"sheetTax", "listviewTax", "bAddTax", "bDelTax", "", "ScrollBox1", "lTaxInfo", "lTaxError"},
        {"sheetDep", "listviewDep", "bAddDep", "bDelDep", "bImportDep", "ScrollBox2", "lDepInfo", "lDepError"},
        {"sheetArt", "listviewArt", "bAddArt", "bDelArt", "bImportArt", "ScrollBox3", "lArtInfo", "lArtError"},
        {"sheetOp", "listviewOp", "bAddOp", "bDelOp", "", "ScrollBox4", "lOpInfo", "lOpError"}};
    static const char* const fixed[] = {"Все ставки НДС с разными номерами", "Все отделы с разными номерами",
                                        "Все артикулы с разными номерами", "Все кассиры с разными номерами"};
    const int k = static_cast<int>(kind);
    ListPage& page = pages_[static_cast<std::size_t>(k)];
    auto* sheet = new QWidget;
    sheet->setObjectName(names[k][0]);

    page.model = new TItemListModel(kind, host_.Constraints(), this);
    page.view = new QTreeView(sheet);
    page.view->setObjectName(names[k][1]);
    page.view->setModel(page.model);
    page.view->setRootIsDecorated(false);
    page.view->setUniformRowHeights(true);
    page.view->setAllColumnsShowFocus(true);
    page.view->setSelectionMode(QAbstractItemView::SingleSelection);
    page.view->setSelectionBehavior(QAbstractItemView::SelectRows);
    page.view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::DoubleClicked);
    page.view->setAlternatingRowColors(true);
    page.view->setSortingEnabled(true);
    page.view->sortByColumn(1, Qt::AscendingOrder);
    QHeaderView* header = page.view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const auto& columns = Columns(kind);
    for (std::size_t c = 1; c < columns.size(); ++c) {
        header->setSectionResizeMode(static_cast<int>(c), QHeaderView::Fixed);
        page.view->setColumnWidth(static_cast<int>(c), columns[c].width);
    }
    connect(page.view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, kind] { OnSelectionChanged(kind); });
    connect(page.model, &TItemListModel::NameEdited, this, [this, kind] {
        PageOf(kind).model->Resort();
        CheckList(kind);
    });

    auto* toolbar = new QHBoxLayout;
    auto tool = [&](const char* caption, const char* name, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(sheet);
        b->setObjectName(name);
        b->setText(caption);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        toolbar->addWidget(b);
        return b;
    };
    page.bAdd = tool("Создать", names[k][2], QStyle::SP_FileDialogNewFolder);
    page.bDel = tool("Удалить", names[k][3], QStyle::SP_TrashIcon);
    connect(page.bAdd, &QToolButton::clicked, this, [this, kind] { AddItem(kind); });
    connect(page.bDel, &QToolButton::clicked, this, [this, kind] { DeleteSelected(kind); });
    if (*names[k][4]) {
        page.bImport = tool("Импорт", names[k][4], QStyle::SP_DialogOpenButton);
        auto* menu = new QMenu(page.bImport);
        QAction* action = menu->addAction("Тольвер 1");
        action->setObjectName(kind == TItemListKind::Art ? "N1" : "N2");
        connect(action, &QAction::triggered, this, [this, kind] { Import(kind); });
        page.bImport->setMenu(menu);
        page.bImport->setPopupMode(QToolButton::InstantPopup);
    }
    toolbar->addStretch(1);

    page.panel = new QWidget(sheet);
    page.panel->setObjectName(names[k][5]);
    // The edit panel lies under the list, three fields a row, so that the list keeps
    // its full width for its columns.
    auto* grid = new QGridLayout(page.panel);
    grid->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < panelEdits.size(); ++i) {
        const int row = static_cast<int>(i / 3), column = static_cast<int>(i % 3) * 2;
        panelEdits[i]->setParent(page.panel);
        const QString& label = panelLabels[static_cast<qsizetype>(i)];
        if (label.isEmpty()) {
            grid->addWidget(panelEdits[i], row, column, 1, 2);
        } else {
            grid->addWidget(new QLabel(label, page.panel), row, column);
            grid->addWidget(panelEdits[i], row, column + 1);
        }
    }
    for (int c = 1; c < 6; c += 2) grid->setColumnStretch(c, 1);
    page.panel->hide();

    page.info = new QLabel(sheet);
    page.info->setObjectName(names[k][6]);
    page.info->setWordWrap(true);
    page.error = new QLabel(sheet);
    page.error->setObjectName(names[k][7]);
    auto* fixedText = new QLabel(fixed[k], sheet);

    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(toolbar);
    layout->addWidget(page.view, 1);
    layout->addWidget(page.panel);
    layout->addWidget(page.info);
    layout->addWidget(page.error);
    layout->addWidget(fixedText);
    return sheet;
}

QWidget* TfrmProperties::MakeAdvPage() {
    auto* sheet = new QWidget;
    sheet->setObjectName("sheetAdvProperties");
    seditDigitCount = new QSpinBox(sheet);
    seditDigitCount->setObjectName("seditDigitCount");
    seditDigitCount->setRange(0, INT_MAX);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Количество дробных знаков:", sheet));
    top->addWidget(seditDigitCount);
    top->addStretch(1);
    panelAdvProperties = new QWidget(sheet);
    panelAdvProperties->setObjectName("panelAdvProperties");
    auto* panelLayout = new QVBoxLayout(panelAdvProperties);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(top);
    layout->addWidget(panelAdvProperties, 1);
    return sheet;
}

QWidget* TfrmProperties::MakeInfoPage() {
    auto* sheet = new QWidget;
    sheet->setObjectName("sheetInfo");
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(13);
    auto memo = [&](const char* name, const char* barName, QWidget*& bar) {
        auto* m = new QPlainTextEdit(sheet);
        m->setObjectName(name);
        m->setFont(font);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        bar = new QWidget(m);
        bar->setObjectName(barName);
        bar->setAutoFillBackground(true);
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, QColor(0, 255, 255));
        bar->setPalette(palette);
        bar->setAttribute(Qt::WA_TransparentForMouseEvents);
        m->installEventFilter(this);
        return m;
    };
    memoBeginMsg = memo("memoBeginMsg", "panelBeginMsgBorder", panelBeginMsgBorder);
    memoFinalMsg = memo("memoFinalMsg", "panelFinalMsgBorder", panelFinalMsgBorder);
    lMsgInfo = new QLabel(sheet);
    lMsgInfo->setObjectName("lMsgInfo");
    lMsgInfo->setWordWrap(true);
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(new QLabel("Начальное сообщение:", sheet));
    layout->addWidget(memoBeginMsg, 1);
    layout->addWidget(new QLabel("Заключительное сообщение:", sheet));
    layout->addWidget(memoFinalMsg, 1);
    layout->addWidget(lMsgInfo);
    return sheet;
}

QWidget* TfrmProperties::MakeReportsPage() {
    auto* sheet = new QWidget;
    sheet->setObjectName("sheetReports");
    auto* group = new QGroupBox("В окне \"Отчеты КА\" запрашивать подтверждение перед выполнением отчетов", sheet);
    cbConfirmXReport = new QCheckBox("Текущих Х-отчетов", group);
    cbConfirmXReport->setObjectName("cbConfirmXReport");
    cbConfirmZReport = new QCheckBox("Обнуляющих Z-отчетов", group);
    cbConfirmZReport->setObjectName("cbConfirmZReport");
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(cbConfirmXReport);
    groupLayout->addWidget(cbConfirmZReport);
    groupLayout->addStretch(1);

    auto list = [&](const char* name, const char* title) {
        auto* l = new QTreeWidget(sheet);
        l->setObjectName(name);
        l->setColumnCount(3);
        l->setHeaderLabels({title, "До", "После"});
        l->setRootIsDecorated(false);
        l->setUniformRowHeights(true);
        l->setSelectionMode(QAbstractItemView::NoSelection);
        l->setEditTriggers(QAbstractItemView::NoEditTriggers);
        l->header()->setStretchLastSection(false);
        l->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        l->header()->setSectionResizeMode(1, QHeaderView::Fixed);
        l->header()->setSectionResizeMode(2, QHeaderView::Fixed);
        l->setColumnWidth(1, 55);
        l->setColumnWidth(2, 55);
        l->header()->setSectionsClickable(false);
        // Both lists keep a scroll bar, so that their "До" and "После" columns line up
        // whether a list needs to scroll or not.
        l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        l->viewport()->installEventFilter(this);
        return l;
    };
    listviewXReports = list("listviewXReports", "Текущие X-отчеты");
    listviewZReports = list("listviewZReports", "Обнуляющие Z-отчеты");
    auto* layout = new QVBoxLayout(sheet);
    auto* caption = new QLabel("Выполнять следующие отчеты до или после регистрации кассира:", sheet);
    caption->setWordWrap(true);
    layout->addWidget(group);
    layout->addWidget(caption);
    layout->addWidget(listviewXReports, 1);
    layout->addWidget(listviewZReports, 1);
    return sheet;
}

bool TfrmProperties::Execute() {
    return RunDialog(*this, [this] { Prepare(); }, [this] { Apply(); }, [this](bool ok) { Finish(ok); });
}

void TfrmProperties::Prepare() {
    host_.EditSetup().Assign(host_.Setup());
    DockAdvPage();
    FormActivate();
}

void TfrmProperties::DockAdvPage() {
    ComPtr<IDispatch> driver = host_.DriverObject();
    if (!driver) return;
    try {
        advPage_ = DockFrame(DispatchGet(driver.get(), "AdvPropertiesForm").toInt32(), panelAdvProperties);
        if (!advPage_) return;
        DispatchPut(driver.get(), "AdvProperties", host_.EditSetup().DriverSetup.AdvPropertiesData);
    } catch (...) {
    }
}

void TfrmProperties::UndockAdvPage() {
    UndockFrame(advPage_, panelAdvProperties);
    advPage_ = nullptr;
}

void TfrmProperties::FormActivate() {
    for (int k = 0; k < 4; ++k) FillList(static_cast<TItemListKind>(k));
    FillReports();
    const TSpoolerSetup& edit = host_.EditSetup();
    cbConfirmXReport->setChecked(edit.ConfirmXReport);
    cbConfirmZReport->setChecked(edit.ConfirmZReport);
    seditDigitCount->setValue(edit.DigitCount);
    auto lines = [](const std::vector<std::string>& from) {
        QStringList text;
        for (const std::string& line : from) text.append(Q(line));
        return text.join('\n');
    };
    memoBeginMsg->setPlainText(lines(edit.BeginMsg));
    memoFinalMsg->setPlainText(lines(edit.FinalMsg));
    lMsgInfo->setText(Q(MessageLimitsText(host_.Constraints())));
    PlaceMsgBars();
    PageControl->setCurrentIndex(0);
}

void TfrmProperties::FillList(TItemListKind kind) {
    ListPage& page = PageOf(kind);
    TXtCollection& list = List(kind);
    page.view->selectionModel()->clear();
    page.panel->hide();
    if (kind == TItemListKind::Dep) list.Sort();
    page.model->Fill(list);
    page.model->Resort();
    CheckList(kind);
    page.info->setText(Q(LimitsText(kind, host_.Constraints())));
}

void TfrmProperties::CheckList(TItemListKind kind) {
    ListPage& page = PageOf(kind);
    const bool errors = CheckItemList(kind, List(kind), host_.Constraints());
    page.model->Refresh();
    page.error->setText(Q(ListStatusText(kind, errors)));
    page.error->setStyleSheet(errors ? "color: #c00000;" : "color: #007000;");
}

void TfrmProperties::FillReports() {
    listviewXReports->clear();
    listviewZReports->clear();
    xReportsLoaded_ = zReportsLoaded_ = false;
    if (!host_.DriverExists()) return;
    const TSpoolerSetup& edit = host_.EditSetup();
    auto fill = [&](QTreeWidget* list, const std::string& names, const std::string& before, const std::string& after) {
        const TChosenItems picksBefore(before), picksAfter(after);
        int i = 0;
        for (const std::string& name : SplitItemNames(names)) {
            auto* row = new QTreeWidgetItem(list, {Q(name), {}, {}});
            row->setIcon(0, report_);
            row->setToolTip(0, Q(name));
            const bool isBefore = picksBefore.Has(i), isAfter = picksAfter.Has(i);
            row->setData(1, Qt::UserRole, isBefore);
            row->setData(2, Qt::UserRole, isAfter);
            row->setIcon(1, isBefore ? checked_ : unchecked_);
            row->setIcon(2, isAfter ? checked_ : unchecked_);
            ++i;
        }
    };
    try {
        const std::string x = host_.XReportItems();
        const std::string z = host_.ZReportItems();
        fill(listviewXReports, x, edit.AutoXReportsBefore, edit.AutoXReportsAfter);
        xReportsLoaded_ = true;
        fill(listviewZReports, z, edit.AutoZReportsBefore, edit.AutoZReportsAfter);
        zReportsLoaded_ = true;
    } catch (...) {
    }
}

void TfrmProperties::StoreControls(TSpoolerSetup& setup) const {
    setup.ConfirmXReport = cbConfirmXReport->isChecked();
    setup.ConfirmZReport = cbConfirmZReport->isChecked();
    auto picks = [](QTreeWidget* list, int column) {
        std::vector<bool> marks;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            marks.push_back(list->topLevelItem(i)->data(column, Qt::UserRole).toBool());
        return PicksToText(marks);
    };
    // Without the driver's names the stored picks cannot be shown, so they stay.
    if (xReportsLoaded_) {
        setup.AutoXReportsBefore = picks(listviewXReports, 1);
        setup.AutoXReportsAfter = picks(listviewXReports, 2);
    }
    if (zReportsLoaded_) {
        setup.AutoZReportsBefore = picks(listviewZReports, 1);
        setup.AutoZReportsAfter = picks(listviewZReports, 2);
    }
    setup.DigitCount = seditDigitCount->value();
    setup.BeginMsg = TextToLines(memoBeginMsg->toPlainText().toStdString());
    setup.FinalMsg = TextToLines(memoFinalMsg->toPlainText().toStdString());
}

void TfrmProperties::Apply() {
    TSpoolerSetup& setup = host_.Setup();
    setup.Assign(host_.EditSetup());
    StoreControls(setup);
    try {
        host_.ApplySettings();
    } catch (const std::exception& e) {
        ShowSpoolerMessage(e.what(), kTitleError, false);
    }
}

void TfrmProperties::Finish(bool accepted) {
    const bool docked = advPage_ != nullptr;
    UndockAdvPage();
    // The page edits the live driver's settings directly: a cancelled edit must not
    // stay in the running driver.
    if (!accepted && docked)
        if (ComPtr<IDispatch> driver = host_.DriverObject()) try {
                DispatchPut(driver.get(), "AdvProperties", host_.Setup().DriverSetup.AdvPropertiesData);
            } catch (...) {
            }
}

// ---- list editing ---------------------------------------------------------------------

TXtCollectionItem* TfrmProperties::SelectedItem(TItemListKind kind) const {
    const ListPage& page = Page(kind);
    const QModelIndexList rows = page.view->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : page.model->ItemAt(rows.first().row());
}

void TfrmProperties::SelectRow(TItemListKind kind, int row) {
    ListPage& page = PageOf(kind);
    const QModelIndex index = page.model->index(row, 0);
    page.view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    page.view->scrollTo(index);
}

void TfrmProperties::AddItem(TItemListKind kind) {
    ListPage& page = PageOf(kind);
    TXtCollectionItem* item = List(kind).Add();
    SetNewItemDefaults(kind, *item);
    page.model->AddRow(item);
    page.model->Resort();
    CheckList(kind);
    const QModelIndex index = page.model->index(page.model->RowOf(item), 0);
    page.view->scrollTo(index);
    page.view->setCurrentIndex(index);
    page.view->edit(index);
}

void TfrmProperties::DeleteSelected(TItemListKind kind) {
    ListPage& page = PageOf(kind);
    TXtCollectionItem* item = SelectedItem(kind);
    if (!item) return;
    const int row = page.model->RowOf(item);
    page.view->selectionModel()->clear();
    page.model->RemoveRow(row);
    TXtCollection& list = List(kind);
    list.Delete(item->Index());
    list.Sort();
    // The status follows the list even when it became empty.
    CheckList(kind);
    if (page.model->rowCount() > 0) {
        SelectRow(kind, std::min(row, page.model->rowCount() - 1));
        page.view->setFocus();
    }
}

void TfrmProperties::OnSelectionChanged(TItemListKind kind) {
    TXtCollectionItem* item = SelectedItem(kind);
    if (!item) {
        Timer.start();
        return;
    }
    Timer.stop();
    LoadPanel(kind, item);
    PageOf(kind).panel->show();
}

void TfrmProperties::TimerTimer() {
    Timer.stop();
    const int index = PageControl->currentIndex();
    if (index < 0 || index > 3) return;
    const auto kind = static_cast<TItemListKind>(index);
    if (!SelectedItem(kind)) PageOf(kind).panel->hide();
}

void TfrmProperties::LoadPanel(TItemListKind kind, TXtCollectionItem* item) {
    if (auto* tax = dynamic_cast<TCashTaxProperties*>(item)) {
        ShowValue(seditTaxN, tax->N);
        ShowValue(ceditTaxValue, tax->Value.ToDouble());
        ShowValue(ceditTaxValueAdv, tax->ValueAdv.ToDouble());
    } else if (auto* dep = dynamic_cast<TCashDepProperties*>(item)) {
        ShowValue(seditDepN, dep->N);
        ShowValue(seditDepNTax, dep->NTax);
    } else if (auto* art = dynamic_cast<TCashArtProperties*>(item)) {
        ShowValue(seditArtN, art->N);
        ShowValue(seditArtNDep, art->NDep);
        ShowValue(seditArtNTax, art->NTax);
        ShowValue(ceditPrice, art->Price.ToDouble());
        cbReturn->setChecked(art->Return);
        ShowValue(ceditTotalCount, art->TotalCount.ToDouble());
    } else if (auto* op = dynamic_cast<TCashOpProperties*>(item)) {
        ShowValue(seditOpN, op->N);
        editOpPassword->setText(Q(op->Password));
    }
}

void TfrmProperties::StorePanel(TItemListKind kind) {
    TXtCollectionItem* item = SelectedItem(kind);
    if (!item || PageOf(kind).panel->isHidden()) return;
    try {
        if (auto* tax = dynamic_cast<TCashTaxProperties*>(item)) {
            tax->N = seditTaxN->value();
            tax->Value = CurrencyOf(ceditTaxValue);
            tax->ValueAdv = CurrencyOf(ceditTaxValueAdv);
        } else if (auto* dep = dynamic_cast<TCashDepProperties*>(item)) {
            dep->N = seditDepN->value();
            dep->NTax = seditDepNTax->value();
        } else if (auto* art = dynamic_cast<TCashArtProperties*>(item)) {
            art->N = seditArtN->value();
            art->NDep = seditArtNDep->value();
            art->NTax = seditArtNTax->value();
            art->Price = CurrencyOf(ceditPrice);
            art->TotalCount = CurrencyOf(ceditTotalCount);
            art->Return = cbReturn->isChecked();
        } else if (auto* op = dynamic_cast<TCashOpProperties*>(item)) {
            op->N = seditOpN->value();
            op->Password = editOpPassword->text().toStdString();
        }
    } catch (...) {
    }
    List(kind).Sort();
    PageOf(kind).model->Resort();
    CheckList(kind);
}

void TfrmProperties::Import(TItemListKind kind) {
    if (kind != TItemListKind::Art && kind != TItemListKind::Dep) return;
    const bool articles = kind == TItemListKind::Art;
    const QString folder = ChooseFolder(kImportPrompts[articles ? 1 : 0]);
    if (folder.isEmpty()) return;
    TXtCollection& list = List(kind);
    const std::string path = folder.toStdString();
    const TImportResult result = articles ? ImportArticles(path, list) : ImportDepartments(path, list);
    if (!result.Ok)
        ShowSpoolerMessage(ImportErrorText(articles ? kArticleTable : kDepartmentTable), kTitleError, false);
    list.Sort();
    ListPage& page = PageOf(kind);
    page.view->selectionModel()->clear();
    page.model->Fill(list);
    page.model->Resort();
    CheckList(kind);
}

// ---- keys, report cells, the line-width bars -------------------------------------

void TfrmProperties::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Enter on a button presses that button ("Отмена" cancels); anywhere else it
    // stores the control being left and closes with OK. A memo keeps Enter for itself.
    if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) {
        button->click();
        return;
    }
    bOk->setFocus();
    accept();
}

bool TfrmProperties::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && (watched == memoBeginMsg || watched == memoFinalMsg)) PlaceMsgBars();
    if (event->type() == QEvent::MouseButtonRelease)
        for (QTreeWidget* list : {listviewXReports, listviewZReports})
            if (list && watched == list->viewport()) {
                const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
                QTreeWidgetItem* row = list->itemAt(pos);
                const int column = list->columnAt(pos.x());
                if (row && (column == 1 || column == 2)) {
                    const bool on = !row->data(column, Qt::UserRole).toBool();
                    row->setData(column, Qt::UserRole, on);
                    row->setIcon(column, on ? checked_ : unchecked_);
                }
            }
    return QDialog::eventFilter(watched, event);
}

void TfrmProperties::PlaceMsgBars() {
    const int width = std::max(0, host_.Constraints().MsgLineWidth);
    for (QPlainTextEdit* memo : {memoBeginMsg, memoFinalMsg}) {
        QWidget* bar = memo == memoBeginMsg ? panelBeginMsgBorder : panelFinalMsgBorder;
        if (!memo || !bar) continue;
        const int x = memo->viewport()->x() + static_cast<int>(memo->document()->documentMargin()) +
                      memo->fontMetrics().horizontalAdvance(QString(width, ' '));
        bar->setGeometry(x, memo->frameWidth(), 1, memo->height() - 2 * memo->frameWidth());
        bar->setVisible(x < memo->width() - memo->frameWidth());
        bar->raise();
    }
}

}  // namespace tolver
