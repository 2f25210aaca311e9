#pragma once
// The properties page of the payments statement: which payments it lists (all, each
// one grouped, the ones of the settings, or the ticked ones of the list).

#include <QRadioButton>
#include <QTreeWidget>

#include "reports/report.h"

namespace tolver {

class TfrmProperties final : public TReportPropertiesForm {
    Q_OBJECT
public:
    explicit TfrmProperties(TPropertiesReport& report);

    QRadioButton* rb0 = nullptr;
    QRadioButton* rb1 = nullptr;
    QRadioButton* rb2 = nullptr;
    QRadioButton* rb3 = nullptr;
    QTreeWidget* listview = nullptr;

    // The button the user last clicked (none at first).
    QRadioButton* LastButton = nullptr;
    bool Filling = false;

    // A button was selected (by the user or by the page): the report's mode follows.
    void rb0Click(QRadioButton* Sender);
    void listviewClick();
    void listviewChange(QTreeWidgetItem* Item);

private:
    bool unticking_ = false;
};

}  // namespace tolver
