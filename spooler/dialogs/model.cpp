#include "spooler/dialogs/model.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/com/cocreate.h"
#include "platform/serial/serialport.h"
#include "spooler/dialogs/framedock.h"
#include "spooler/comcombo.h"
#include "spooler/dialogs/dialoghost.h"
#include "spooler/dialogs/dialogrun.h"
#include "spooler/spoolermessage.h"

namespace tolver {

TfrmModel::TfrmModel(TDialogHost& host, const std::string& driverFolder, QWidget* parent)
    : QDialog(parent), host_(host), entries_(BuildDriverList(driverFolder)) {
    CreateDriver = [](const std::string& progId) { return CreateOleObject(progId); };
    setObjectName("frmModel");
    setWindowTitle("Подключение");

    comboDriver = new QComboBox(this);
    comboDriver->setObjectName("comboDriver");
    for (const TDriverListEntry& entry : entries_) comboDriver->addItem(QString::fromStdString(entry.Caption));
    comboDriver->setCurrentIndex(0);
    connect(comboDriver, &QComboBox::activated, this, &TfrmModel::comboDriverChange);

    panelProperties = new QWidget(this);
    panelProperties->setObjectName("panelProperties");
    auto* pageLayout = new QVBoxLayout(panelProperties);
    pageLayout->setContentsMargins(0, 0, 0, 0);

    comboCom = new TComCombo(this);
    comboCom->setObjectName("comboCom");
    comboCom->FillPorts(true);
    connect(comboCom, &QComboBox::activated, this, [this] { portPicked_ = true; });

    comboBaud = new QComboBox(this);
    comboBaud->setObjectName("comboBaud");
    comboBaud->setEditable(true);
    comboBaud->addItems({"1200", "2400", "4800", "9600", "14400", "19200"});

    cboxNotificationOn = new QCheckBox("Включить оповещение о пропадании связи с КА", this);
    cboxNotificationOn->setObjectName("cboxNotificationOn");
    cboxProtocolOn = new QCheckBox("Включить отладку", this);
    cboxProtocolOn->setObjectName("cboxProtocolOn");

    bOk = new QPushButton("ОК", this);
    bOk->setObjectName("bOk");
    bOk->setDefault(true);
    bCancel = new QPushButton("Отмена", this);
    bCancel->setObjectName("bCancel");
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* port = new QGridLayout;
    port->addWidget(new QLabel("Порт:", this), 0, 0);
    port->addWidget(comboCom, 0, 1);
    port->addWidget(new QLabel("Скорость:", this), 0, 2);
    port->addWidget(comboBaud, 0, 3);
    port->setColumnStretch(1, 1);
    port->setColumnStretch(3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Модель кассового аппарата:", this));
    layout->addWidget(comboDriver);
    layout->addWidget(panelProperties, 1);
    layout->addLayout(port);
    layout->addWidget(cboxNotificationOn);
    layout->addWidget(cboxProtocolOn);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

TfrmModel::~TfrmModel() {
    // The driver owns its frame: never let the panel free it.
    if (page_) page_->setParent(nullptr);
}

bool TfrmModel::Execute() {
    return RunDialog(*this, [this] { Prepare(); }, [this] { Apply(); }, [this](bool ok) { Finish(); });
}

void TfrmModel::Prepare() {
    host_.EditSetup().Assign(host_.Setup());
    blobCashType_ = host_.EditSetup().DriverSetup.CashDriverProperties->CashType;
    portPicked_ = false;
    // An adapter plugged in since the last run is offered too.
    comboCom->FillPorts(comboCom->OnlyPresent());
    DockDriverPage();
    FormActivate();
}

void TfrmModel::DockDriverPage() {
    TCashDriverSetup& ds = host_.EditSetup().DriverSetup;
    try {
        edited_ = CreateDriver(ds.CashDriverProperties->AutoObjectName);
        if (edited_) {
            ds.DriverObject = Variant::Dispatch(edited_.get());
            ds.EventIID = DispatchGet(edited_.get(), "EventIID").toString();
        }
    } catch (...) {
    }
    if (edited_) {
        try {
            page_ = DockFrame(DispatchGet(edited_.get(), "PropertiesForm").toInt32(), panelProperties);
        } catch (...) {
        }
    }
    FitToPage();
}

void TfrmModel::FitToPage() {
    // The dialog keeps the size of its last run: it takes the docked page's (or, with
    // none, its own smaller) size anew, so that no page is ever clipped.
    panelProperties->updateGeometry();
    layout()->activate();
    resize(sizeHint().expandedTo(minimumSizeHint()));
}

void TfrmModel::UndockDriverPage() {
    UndockFrame(page_, panelProperties);
    page_ = nullptr;
    edited_ = nullptr;
    host_.EditSetup().DriverSetup.DriverObject = Variant();
}

void TfrmModel::PushDriverProperties() {
    const TCashDriverSetup& ds = host_.EditSetup().DriverSetup;
    if (!edited_ || ds.CashDriverProperties->CashType != blobCashType_) return;
    try {
        DispatchPut(edited_.get(), "Properties", ds.PropertiesData);
    } catch (...) {
    }
}

void TfrmModel::SelectDriverEntry(std::int32_t cashType) {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Properties->CashType == cashType) {
            comboDriver->setCurrentIndex(static_cast<int>(i));
            break;
        }
}

void TfrmModel::FormActivate() {
    const TCashDriverSetup& ds = host_.EditSetup().DriverSetup;
    SelectDriverEntry(ds.CashDriverProperties->CashType);
    comboCom->SetPortNumber(ds.ComNumber);
    comboBaud->setEditText(QString::number(ds.Baud));
    cboxProtocolOn->setChecked(ds.ProtocolOn);
    cboxNotificationOn->setChecked(ds.NotificationOn);
    PushDriverProperties();
}

void TfrmModel::comboDriverChange(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return;
    UndockDriverPage();
    host_.EditSetup().DriverSetup.CashDriverProperties->Assign(*entries_[static_cast<std::size_t>(index)].Properties);
    DockDriverPage();
}

void TfrmModel::Apply() {
    host_.ReleaseDriverObject();
    TSpoolerSetup& setup = host_.Setup();
    setup.Assign(host_.EditSetup());
    TCashDriverSetup& ds = setup.DriverSetup;

    // A stored port that the picker does not list stays unless the user chose one:
    // the picker shows some other port then, which must not replace it unseen.
    const std::int32_t shown = comboCom->GetPortNumber();
    const bool storedListed = ds.ComNumber == 0 || shown == ds.ComNumber;
    if (portPicked_ || storedListed) {
        ds.ComNumber = static_cast<std::uint8_t>(shown);
        // An adapter's item: its number now names its device.
        if (const std::string device = comboCom->GetPortDevice(); !device.empty() && shown > 0) {
            try {
                if (ComDevicePath(shown) != device) SetComDevicePath(shown, device);
            } catch (const std::exception& e) {
                ShowSpoolerMessage(e.what(), kTitleError, false);
            }
        }
    }

    bool isNumber = false;
    const int baud = comboBaud->currentText().trimmed().toInt(&isNumber);
    if (isNumber && baud > 0) ds.Baud = baud;
    ds.ProtocolOn = cboxProtocolOn->isChecked();
    ds.NotificationOn = cboxNotificationOn->isChecked();

    // The blobs belong to the driver they came from: another driver starts from its
    // own defaults rather than from them.
    if (ds.CashDriverProperties->CashType != blobCashType_) {
        ds.PropertiesData = Variant();
        ds.AdvPropertiesData = Variant();
    }
    if (edited_) {
        try {
            ds.PropertiesData = DispatchGet(edited_.get(), "Properties");
        } catch (...) {
        }
        try {
            ds.CashDriverProperties->SetFromVariant(DispatchGet(edited_.get(), "CashDriverProperties"));
        } catch (...) {
        }
    }
    try {
        host_.SaveSetup();
    } catch (const std::exception& e) {
        ShowSpoolerMessage(e.what(), kTitleError, false);
    }
    host_.CreateDriverObject();
    host_.RequestReconnect();
}

void TfrmModel::Finish() {
    UndockDriverPage();
    // The list shows the driver that runs (DriverInfo reads it), not one picked and
    // then cancelled.
    SelectDriverEntry(host_.Setup().DriverSetup.CashDriverProperties->CashType);
}

std::string TfrmModel::DriverInfo() const {
    const int index = comboDriver->currentIndex();
    return index >= 0 && index < static_cast<int>(entries_.size()) ? entries_[static_cast<std::size_t>(index)].Caption
                                                                   : std::string();
}

}  // namespace tolver
