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

    TSpoolerSetup& Setup() override { return main_.Setup; }
    TSpoolerSetup& EditSetup() override { return main_.EditSetup; }
    const TCashDriverConstraints& Constraints() const override { return main_.Constraints; }
    // The wrapper lives as long as the main window; its calls fail while no driver
    // is attached.
    bool DriverExists() const override { return true; }
    std::string XReportItems() override { return main_.Driver.Call(&ICashDriverAuto::get_XReportItems); }
    std::string ZReportItems() override { return main_.Driver.Call(&ICashDriverAuto::get_ZReportItems); }
    std::string ProgramItems() override { return main_.Driver.Call(&ICashDriverAuto::get_ProgramItems); }
    void GetXReport(const std::string& items) override { main_.Driver.Call(&ICashDriverAuto::GetXReport, items); }
    void GetZReport(const std::string& items) override { main_.Driver.Call(&ICashDriverAuto::GetZReport, items); }
    void GetProgram(const std::string& items) override { main_.Driver.Call(&ICashDriverAuto::GetProgram, items); }
    void CloseCheck() override { main_.Driver.Call(&ICashDriverAuto::CloseCheck, Currency(), TPayType::Cash); }
    ComPtr<IDispatch> DriverObject() const override { return main_.DriverObject(); }
    bool CheckOpen() const override { return main_.CheckOpen; }
    void SetCheckOpen(bool open) override { main_.CheckOpen = open; }
    void SaveSetup() override { main_.SaveSetup(); }
    void ApplySettings() override { main_.ApplySettings(); }
    void ReleaseDriverObject() override { main_.ReleaseDriverObject(); }
    void CreateDriverObject() override { main_.CreateDriverObject(); }
    void RequestReconnect() override {
        main_.PendingAction = paReconnect;
        main_.RequestDisconnect();
    }

private:
    TfrmMain& main_;
};

class TSpoolerDialogs final : public ISpoolerDialogs {
public:
    // Created in the designed order: connection, settings, reports, programming.
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
