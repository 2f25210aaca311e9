#pragma once
// Fakes for the dialogs' tests: the main window's side (TDialogHost) with a driver
// that records what it is asked, and a driver automation object answering the late-
// bound names the dialogs use, with a settings frame of its own.

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPointer>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

#include "platform/com/comobj.h"
#include "platform/com/framehandle.h"
#include "spooler/dialogs/dialoghost.h"

namespace tolver::testutil {

class FakeHost : public TDialogHost {
public:
    TSpoolerSetup setup, edit;
    TCashDriverConstraints limits;
    bool driver = true;     // the wrapper exists
    bool failing = false;   // every driver call fails
    bool checkOpen = false;
    std::string xItems, zItems, programItems;
    std::vector<std::string> calls;  // "X:0;2;", "CloseCheck", ...
    int saves = 0, applies = 0;
    ComPtr<IDispatch> liveObject;

    TSpoolerSetup& Setup() override { return setup; }
    TSpoolerSetup& EditSetup() override { return edit; }
    const TCashDriverConstraints& Constraints() const override { return limits; }
    bool DriverExists() const override { return driver; }
    std::string XReportItems() override { return Answer(xItems); }
    std::string ZReportItems() override { return Answer(zItems); }
    std::string ProgramItems() override { return Answer(programItems); }
    void GetXReport(const std::string& items) override { Record("X:" + items); }
    void GetZReport(const std::string& items) override { Record("Z:" + items); }
    void GetProgram(const std::string& items) override { Record("P:" + items); }
    // The register accepts the close at once.
    void CloseReceiptFirst() override {
        if (!checkOpen) return;
        Record("CloseCheck");
        checkOpen = false;
    }
    ComPtr<IDispatch> DriverObject() const override { return liveObject; }
    void SaveSetup() override {
        ++saves;
        calls.push_back("Save");
    }
    void ApplySettings() override {
        ++applies;
        calls.push_back("Apply");
    }
    void ReleaseDriverObject() override { calls.push_back("Release"); }
    void CreateDriverObject() override { calls.push_back("Create"); }
    void RequestReconnect() override { calls.push_back("Reconnect"); }

private:
    std::string Answer(const std::string& text) {
        if (failing) throw std::runtime_error("driver failed");
        return text;
    }
    void Record(const std::string& call) {
        calls.push_back(call);
        if (failing) throw std::runtime_error("driver failed");
    }
};

// A driver object by late binding only: each name is a property with a value; a
// name without a value fails (as a driver without that member would). Its frames are
// its own, as a driver's are.
class FakeDriverObject final : public TComObject<IDispatch> {
public:
    explicit FakeDriverObject(std::int32_t cashType = 1) {
        ++Alive;
        page = new QFrame;
        page->setObjectName("driverPage");
        page->setFrameShape(QFrame::StyledPanel);
        advPage = new QFrame;
        advPage->setObjectName("driverAdvPage");
        advPage->setFrameShape(QFrame::StyledPanel);
        values["EventIID"] = Variant("{849C7023-B964-11D4-8407-00104B205A89}");
        values["PropertiesForm"] = Variant(FrameHandle(page));
        values["AdvPropertiesForm"] = Variant(FrameHandle(advPage));
        values["CashType"] = Variant(cashType);
    }
    ~FakeDriverObject() override {
        --Alive;
        delete page;
        delete advPage;
    }

    inline static int Alive = 0;  // objects not yet released
    std::map<std::string, Variant> values;
    std::vector<std::pair<std::string, Variant>> puts;
    QPointer<QFrame> page, advPage;

    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t, LCID, const InterfaceInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const GUID&, const std::string* names, std::uint32_t count, LCID, DISPID* ids) override {
        for (std::size_t i = 0; i < kNames.size(); ++i)
            if (names[0] == kNames[i]) {
                ids[0] = static_cast<DISPID>(i + 1);
                for (std::uint32_t k = 1; k < count; ++k) ids[k] = DISPID_UNKNOWN;
                return S_OK;
            }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, const GUID&, LCID, std::uint16_t flags, DispParams* params, Variant* result, ExcepInfo*,
                   std::uint32_t*) override {
        if (id < 1 || id > static_cast<DISPID>(kNames.size())) return DISP_E_MEMBERNOTFOUND;
        const std::string name = kNames[static_cast<std::size_t>(id - 1)];
        if (flags & DISPATCH_PROPERTYPUT) {
            if (!params || params->count < 1) return DISP_E_BADPARAMCOUNT;
            puts.emplace_back(name, params->args[0]);
            values[name] = params->args[0];
            return S_OK;
        }
        const auto it = values.find(name);
        if (it == values.end()) return DISP_E_MEMBERNOTFOUND;
        if (result) *result = it->second;
        return S_OK;
    }

private:
    inline static const std::vector<std::string> kNames{"EventIID",   "PropertiesForm",       "AdvPropertiesForm",
                                                        "Properties", "CashDriverProperties", "AdvProperties",
                                                        "CashType"};
};

// A shop's setup as a register would hold it: 8 tax rates, 16 departments, 200
// articles, 5 cashiers, a header of 4 lines and a footer of 2.
inline void FillShopSetup(TSpoolerSetup& setup) {
    static const char* const taxes[] = {"НДС 20%", "Без НДС", "НДС 7%", "Сбор 1%", "НДС 0%", "Акциз", "Пенсионный", "Прочее"};
    for (int i = 0; i < 8; ++i) {
        auto* tax = static_cast<TCashTaxProperties*>(setup.TaxList.CreateItem(i + 1));
        tax->Description = taxes[i];
        tax->Value = Currency::FromUnits(i == 0 ? 20 : i == 2 ? 7 : 0);
        tax->ValueAdv = Currency::FromUnits(i == 3 ? 1 : 0);
    }
    static const char* const deps[] = {"Бакалея", "Молочные продукты", "Хлеб", "Овощи и фрукты", "Мясо", "Рыба",
                                       "Напитки", "Кондитерские изделия", "Табак", "Бытовая химия", "Канцтовары",
                                       "Заморозка", "Бакалея развес", "Детское питание", "Алкоголь", "Прочее"};
    for (int i = 0; i < 16; ++i) {
        auto* dep = static_cast<TCashDepProperties*>(setup.DepList.CreateItem(i + 1));
        dep->Description = deps[i];
        dep->NTax = 1 + i % 3;
    }
    static const char* const goods[] = {"Хлеб Бородинский", "Молоко 2,5% 1 л", "Кефир 1% 0,5 л", "Сыр Российский",
                                        "Чай черный 100 г", "Кофе молотый 250 г", "Сахар-песок 1 кг", "Масло сливочное"};
    for (int i = 0; i < 200; ++i) {
        auto* art = static_cast<TCashArtProperties*>(setup.ArtList.CreateItem(i + 1));
        art->Description = std::string(goods[i % 8]) + (i >= 8 ? " №" + std::to_string(i / 8) : "");
        art->NDep = 1 + i % 16;
        art->NTax = 1 + i % 3;
        art->Price = Currency::FromRaw(123450LL * (1 + i % 17));
        art->TotalCount = Currency::FromRaw(10000LL * (i % 50));
        art->Return = i % 25 == 0;
    }
    static const char* const ops[] = {"Иванова А. П.", "Петров С. С.", "Сидоренко О. В.", "Администратор", "Старший кассир"};
    for (int i = 0; i < 5; ++i) {
        auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(i + 1));
        op->Description = ops[i];
        op->Password = std::to_string(1000 + 1111 * i);
    }
    setup.BeginMsg = {"   ООО \"Колосок\"", "г. Киев, ул. Садовая, 12", "   ДОБРО ПОЖАЛОВАТЬ!", "ИНН 1234567890"};
    setup.FinalMsg = {"   СПАСИБО ЗА ПОКУПКУ!", "  Ждем вас снова"};
}

// Limits as a register of that kind has them.
inline TCashDriverConstraints ShopLimits() {
    TCashDriverConstraints c;
    c.MaxTax = 8;
    c.MaxDep = 16;
    c.MaxArt = 1000;
    c.MaxOp = 8;
    c.NameLength = 18;
    c.HeaderLines = 4;
    c.FooterLines = 2;
    c.MsgLineWidth = 24;
    return c;
}

#ifdef TOLVER_SHOTS_DIR
// Renders a window (shown offscreen) to <build>/shots/<name>.png.
inline void Shoot(QWidget* window, const QString& name) {
    QDir().mkpath(TOLVER_SHOTS_DIR);
    window->show();
    QApplication::processEvents();
    window->grab().save(QString(TOLVER_SHOTS_DIR) + "/" + name + ".png");
}
#endif

}  // namespace tolver::testutil
