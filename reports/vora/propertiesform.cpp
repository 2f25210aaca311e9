#include "reports/vora/propertiesform.h"

#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>

namespace tolver {

TfrmProperties::TfrmProperties(TPropertiesReport& report) : TReportPropertiesForm(report) {
    setObjectName("frmProperties");
    resize(384, 378);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    rb0 = new QRadioButton("По всем платежам", this);
    rb1 = new QRadioButton("По каждому платежу", this);
    rb2 = new QRadioButton("По некоторым платежам", this);
    rb3 = new QRadioButton("По выбору", this);
    QRadioButton* buttons[] = {rb0, rb1, rb2, rb3};
    const char* names[] = {"rb0", "rb1", "rb2", "rb3"};
    for (int i = 0; i < 4; ++i) {
        buttons[i]->setObjectName(names[i]);
        buttons[i]->setMinimumHeight(22);
        layout->addWidget(buttons[i]);
        QRadioButton* b = buttons[i];
        connect(b, &QRadioButton::toggled, this, [this, b](bool on) {
            if (on) rb0Click(b);
        });
        // A button the user clicks (not one the page selects itself) is the one to
        // go back to when the last name is unticked.
        connect(b, &QRadioButton::clicked, this, [this, b] { LastButton = b; });
    }
    layout->addStretch(1);
    listview = new QTreeWidget(this);
    listview->setObjectName("listview");
    listview->setColumnCount(1);
    listview->setHeaderLabels({"Платежи"});
    listview->setRootIsDecorated(false);
    listview->setSelectionBehavior(QAbstractItemView::SelectRows);
    listview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listview->setSortingEnabled(true);
    listview->sortByColumn(0, Qt::AscendingOrder);
    listview->header()->setSectionResizeMode(QHeaderView::Stretch);
    listview->setFixedHeight(257);
    layout->addWidget(listview);

    Filling = true;
    QRadioButton* chosen = report.Mode >= 0 && report.Mode <= 3 ? buttons[report.Mode] : rb0;
    if (chosen->isChecked())
        rb0Click(chosen);
    else
        chosen->setChecked(true);
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const std::string& name : report.KnownNames.Items()) {
        auto* item = new QTreeWidgetItem(listview, {QString::fromStdString(name)});
        item->setIcon(0, icon);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, report.ChosenNames.Contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    listview->sortItems(listview->sortColumn(), listview->header()->sortIndicatorOrder());
    Filling = false;

    connect(listview, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (Filling || unticking_) return;
        listviewChange(item);
        listviewClick();
    });
    connect(listview, &QTreeWidget::itemClicked, this, [this] { listviewClick(); });
}

void TfrmProperties::rb0Click(QRadioButton* Sender) {
    TPropertiesReport& report = Report();
    report.Mode = 0;
    if (rb3->isChecked()) {
        report.Mode = 3;
        return;
    }
    report.ChosenNames.Clear();
    unticking_ = true;
    for (int i = 0; listview && i < listview->topLevelItemCount(); ++i)
        listview->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    unticking_ = false;
    if (rb1->isChecked()) report.Mode = 1;
    if (rb2->isChecked()) report.Mode = 2;
}

void TfrmProperties::listviewClick() {
    for (int i = 0; i < listview->topLevelItemCount(); ++i) {
        if (listview->topLevelItem(i)->checkState(0) == Qt::Checked) {
            rb3->setChecked(true);
            return;
        }
    }
    (LastButton ? LastButton : rb0)->setChecked(true);
}

void TfrmProperties::listviewChange(QTreeWidgetItem* Item) {
    if (Filling || !Item) return;
    const std::string caption = Item->text(0).toStdString();
    if (Item->checkState(0) == Qt::Checked)
        Report().ChosenNames.Add(caption);
    else
        Report().ChosenNames.Remove(caption);
}

}  // namespace tolver
