#pragma once
// The connection dialog ("Подключение"): the driver, the serial port, the baud rate
// and two switches, with the chosen driver's own settings page docked inside. It
// edits the main window's EditSetup through an edited instance of the driver's
// automation object that lives only while the dialog is open; OK stores the setup,
// replaces the live driver object and reconnects the link.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "spooler/driverlist.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace tolver {

class TComCombo;
class TDialogHost;

class TfrmModel : public QDialog {
    Q_OBJECT
public:
    // Lists the driver libraries of driverFolder (by default the program's folder).
    explicit TfrmModel(TDialogHost& host, const std::string& driverFolder = {}, QWidget* parent = nullptr);
    ~TfrmModel() override;

    // The whole run of the menu item "По&дключение": true when it ended with OK.
    bool Execute();

    // The parts of a run: Prepare (EditSetup from Setup, the edited driver's page
    // docked, the controls filled), Apply (OK's steps), Finish (the page undocked).
    void Prepare();
    void Apply();
    void Finish();

    // Docks the page and fits the dialog to it.
    void DockDriverPage();
    void UndockDriverPage();
    // The stored settings blob into the edited driver object, only while the edited
    // object is of the driver the blob belongs to.
    void PushDriverProperties();
    // Sets the controls from EditSetup; once per showing.
    void FormActivate();
    void comboDriverChange(int index);

    const std::vector<TDriverListEntry>& Entries() const { return entries_; }
    // The caption of the selected driver entry.
    std::string DriverInfo() const;
    IDispatch* EditedDriver() const { return edited_.get(); }
    QWidget* DockedPage() const { return page_; }

    // Makes the edited driver object from its ProgID (CreateOleObject; tests put a
    // fake here).
    std::function<ComPtr<IDispatch>(const std::string& progId)> CreateDriver;

    QComboBox* comboDriver = nullptr;
    QWidget* panelProperties = nullptr;
    TComCombo* comboCom = nullptr;
    QComboBox* comboBaud = nullptr;
    QCheckBox* cboxNotificationOn = nullptr;
    QCheckBox* cboxProtocolOn = nullptr;
    QPushButton* bOk = nullptr;
    QPushButton* bCancel = nullptr;

private:
    void FitToPage();
    // The first entry of the driver of that CashType; without one the selection stays.
    void SelectDriverEntry(std::int32_t cashType);

    TDialogHost& host_;
    std::vector<TDriverListEntry> entries_;
    ComPtr<IDispatch> edited_;
    QPointer<QWidget> page_;
    std::int32_t blobCashType_ = 0;  // the driver that EditSetup's blobs belong to
    bool portPicked_ = false;        // the user chose a port in this run
};

}  // namespace tolver
