// The dialogs over the main window: its menu items, its reconnect step and the
// automation members reach them through ISpoolerDialogs.

#include "spooler/dialogs/maindialogs.h"

#include "spooler/dialogs/dialoghost.h"
#include "spooler/dialogs/model.h"
#include "spooler/dialogs/properties.h"
#include "spooler/dialogs/reports.h"
#include "spooler/mainform.h"

namespace tolver {

namespace {

class TMainDialogHost final : public TDialogHost {
public:
    explicit TMainDialogHost(TfrmMain& main) : main_(main) {}

    TSpoolerSetup& Setup() override { return core().Setup(); }
    TSpoolerSetup& EditSetup() override { return core().Store().EditSetup(); }
    const TCashDriverConstraints& Constraints() const override { return main_.Core().Binding().Constraints(); }
    // The wrapper lives as long as the main window; its calls fail while no driver
    // is attached.
    bool DriverExists() const override { return true; }
    std::string XReportItems() override { return driver().Call(&ICashDriverAuto::get_XReportItems); }
    std::string ZReportItems() override { return driver().Call(&ICashDriverAuto::get_ZReportItems); }
    std::string ProgramItems() override { return driver().Call(&ICashDriverAuto::get_ProgramItems); }
    void GetXReport(const std::string& items) override { driver().Call(&ICashDriverAuto::GetXReport, items); }
    void GetZReport(const std::string& items) override { driver().Call(&ICashDriverAuto::GetZReport, items); }
    void GetProgram(const std::string& items) override { driver().Call(&ICashDriverAuto::GetProgram, items); }
    void CloseReceiptFirst() override { core().Receipt().CloseFirst(); }
    ComPtr<IDispatch> DriverObject() const override { return main_.Core().Binding().DriverObject(); }
    void SaveSetup() override { core().Store().SaveSetup(); }
    void ApplySettings() override { core().ApplySettings(); }
    void ReleaseDriverObject() override { core().Binding().ReleaseDriverObject(); }
    void CreateDriverObject() override { core().Binding().CreateDriverObject(); }
    void RequestReconnect() override {
        core().Link().SetPendingAction(paReconnect);
        core().Link().RequestDisconnect();
    }

private:
    TSpoolerCore& core() { return main_.Core(); }
    TCashDriverAuto1& driver() { return main_.Core().Binding().Driver(); }

    TfrmMain& main_;
};

class TSpoolerDialogs final : public ISpoolerDialogs {
public:
    // Created in this order: connection, settings, reports, programming.
    explicit TSpoolerDialogs(TfrmMain& main)
        : host_(main),
          model_(std::make_unique<TfrmModel>(host_)),
          properties_(std::make_unique<TfrmProperties>(host_)),
          reports_(std::make_unique<TfrmReports>(host_)),
          program_(std::make_unique<TfrmProgram>(host_)) {}

    void ShowConnection() override { model_->Execute(); }
    void ShowSettings() override { properties_->Execute(); }
    void ShowReports() override { reports_->ShowReports(); }
    void ShowProgram() override { program_->ShowWindow(); }
    void PushDriverProperties() override { model_->PushDriverProperties(); }
    std::string DriverInfo() override { return model_->DriverInfo(); }

private:
    TMainDialogHost host_;
    std::unique_ptr<TfrmModel> model_;
    std::unique_ptr<TfrmProperties> properties_;
    std::unique_ptr<TfrmReports> reports_;
    std::unique_ptr<TfrmProgram> program_;
};

}  // namespace

std::unique_ptr<ISpoolerDialogs> CreateSpoolerDialogs(TfrmMain& main) { return std::make_unique<TSpoolerDialogs>(main); }

}  // namespace tolver
