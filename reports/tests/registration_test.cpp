// Registration of the report modules in a temporary registry store, creation through
// the store, the options server module, and the category step's failures.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/cocreate.h"
#include "platform/com/comcat.h"
#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"
#include "report_fixture.h"
#include "reports/registration.h"
#include "reports/vora/vorareport.h"

namespace tolver {
namespace {

using namespace testutil;

struct Module {
    void* handle = nullptr;
    DllRegisterServerProc reg = nullptr;
    DllUnregisterServerProc unreg = nullptr;
    explicit Module(const char* name) {
        handle = dlopen((std::string(TOLVER_BIN_DIR) + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        reg = reinterpret_cast<DllRegisterServerProc>(dlsym(handle, "DllRegisterServer"));
        unreg = reinterpret_cast<DllUnregisterServerProc>(dlsym(handle, "DllUnregisterServer"));
    }
};

bool KeyExists(const std::string& key) { return TRegistry(HKEY_CLASSES_ROOT).KeyExists(key); }

std::string Default(const std::string& key) {
    TRegistry reg(HKEY_CLASSES_ROOT);
    return reg.OpenKey(key, false) ? reg.ReadString("") : "<no key>";
}

const std::string kVoraKey = "\\CLSID\\{68225109-33B3-42F8-BC4A-40FD4114E570}";
const std::string kMerrowKey = "\\CLSID\\{985D1EAF-A58F-4395-8D1B-99F1388D6804}";
const std::string kCategory = "{01353A90-628D-41E7-A4A1-D27685D48787}";

TEST(ReportRegistration, ModulesRegisterIntoTheReportsCategoryAndUnregisterTwice) {
    TempRegistry registry;
    Module vora("Vora.rpt"), merrow("Merrow.rpt");
    ASSERT_TRUE(vora.reg && vora.unreg && merrow.reg && merrow.unreg) << dlerror();
    ASSERT_EQ(vora.reg(), S_OK);
    ASSERT_EQ(merrow.reg(), S_OK);

    EXPECT_EQ(Default(kVoraKey), "Платежи|Ведомость платежей");
    EXPECT_EQ(Default(kMerrowKey), "Платежи|-Касова довiдка-");
    EXPECT_EQ(Default(kVoraKey + "\\ProgID"), "Vora.VoraReport");
    EXPECT_EQ(Default("\\Merrow.MerrowReport\\CLSID"), "{985D1EAF-A58F-4395-8D1B-99F1388D6804}");
    EXPECT_TRUE(Default(kVoraKey + "\\InprocServer32").ends_with("/Vora.rpt"));
    EXPECT_TRUE(KeyExists(kVoraKey + "\\Implemented Categories\\" + kCategory));

    ComPtr<ICatInformation> info;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, ICatInformation::IID,
                               reinterpret_cast<void**>(info.put())),
              S_OK);
    std::vector<GUID> classes;
    ASSERT_EQ(info->EnumClassesOfCategories(1, &CATID_Reports, &classes), S_OK);
    EXPECT_EQ(classes.size(), 2u);
    std::string description;
    EXPECT_EQ(info->GetCategoryDesc(CATID_Reports, 0x0800, &description), S_OK);
    EXPECT_EQ(description, "Отчеты");

    // The host creates them by class identifier; only Vora has properties.
    ComPtr<IReport> report;
    ASSERT_EQ(CoCreateInstance(CLSID_VoraReport, nullptr, IReport::IID, reinterpret_cast<void**>(report.put())), S_OK);
    EXPECT_TRUE(report.query<IReportProperties>());
    EXPECT_TRUE(report.query<IReportConnection>());
    report.reset();
    ASSERT_EQ(CoCreateInstance(MakeGUID("{985D1EAF-A58F-4395-8D1B-99F1388D6804}"), nullptr, IReport::IID,
                               reinterpret_cast<void**>(report.put())),
              S_OK);
    EXPECT_FALSE(report.query<IReportProperties>());
    ComPtr<IPersist> persist = report.query<IPersist>();
    GUID id;
    ASSERT_TRUE(persist);
    EXPECT_EQ(persist->GetClassID(&id), S_OK);
    EXPECT_EQ(GUIDToString(id), "{985D1EAF-A58F-4395-8D1B-99F1388D6804}");
    report.reset();
    persist.reset();

    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(vora.unreg(), S_OK) << round;
        EXPECT_EQ(merrow.unreg(), S_OK) << round;
    }
    EXPECT_FALSE(KeyExists(kVoraKey));
    EXPECT_FALSE(KeyExists("\\Vora.VoraReport"));
    EXPECT_TRUE(KeyExists("\\Component Categories\\" + kCategory));  // the category stays
    classes.clear();
    info->EnumClassesOfCategories(1, &CATID_Reports, &classes);
    EXPECT_TRUE(classes.empty());
}

// A category manager whose every call fails.
class TFailingCategories final : public TComObject<ICatRegister> {
public:
    HRESULT RegisterCategories(std::uint32_t, const CategoryInfo*) override { return E_ACCESSDENIED; }
    HRESULT UnRegisterCategories(std::uint32_t, const GUID*) override { return E_ACCESSDENIED; }
    HRESULT RegisterClassImplCategories(const GUID&, std::uint32_t, const GUID*) override { return E_ACCESSDENIED; }
    HRESULT UnRegisterClassImplCategories(const GUID&, std::uint32_t, const GUID*) override { return E_ACCESSDENIED; }
};

TEST(ReportRegistration, AFailingCategoryStepIsReportedAndLeavesNothingBehind) {
    TempRegistry registry;
    ComModule module({VoraReportClass()});
    ComPtr<TFailingCategories> failing(new TFailingCategories());
    EXPECT_EQ(RegisterReportServer(module, failing.get()), E_ACCESSDENIED);
    EXPECT_FALSE(KeyExists(kVoraKey));
    EXPECT_FALSE(KeyExists("\\Vora.VoraReport"));

    ASSERT_EQ(RegisterReportServer(module), S_OK);
    EXPECT_EQ(UnregisterReportServer(module, failing.get()), E_ACCESSDENIED);
    EXPECT_TRUE(KeyExists(kVoraKey + "\\Implemented Categories\\" + kCategory));  // still registered
    EXPECT_EQ(UnregisterReportServer(module), S_OK);
    EXPECT_FALSE(KeyExists(kVoraKey));
}

TEST(ReportRegistration, OptionsServerModuleAnswersTheArchiveFromTheStore) {
    TempRegistry registry;
    Module options("Options.srv"), merrow("Merrow.rpt");
    ASSERT_TRUE(options.reg && merrow.reg) << dlerror();
    ASSERT_EQ(options.reg(), S_OK);
    ASSERT_EQ(merrow.reg(), S_OK);
    const std::string archive = (registry.dir() / "archive.db").string();
    TArchiveWriter(archive).WriteDay(EncodeDate(2026, 3, 1), {Pay("10:00", "Хлеб", "12.00", 1, 7)});
    TOptionsStandIn::WriteSection("Архивы", archive);

    TOptionsAuto client;
    std::string a1, a2, a3;
    EXPECT_EQ(client.GetSectionAlias("Архивы", a1, a2, a3), 0);
    EXPECT_EQ(a1, archive);
    EXPECT_EQ(client.GetSectionAlias("Курсы", a1, a2, a3), 1);
    EXPECT_EQ(IOptionsAuto::TypeInfo().FindByName("GetSectionAlias", MemberKind::Method)->compiledSlot, 19);

    ComPtr<IReport> report;
    ASSERT_EQ(CoCreateInstance(MakeGUID("{985D1EAF-A58F-4395-8D1B-99F1388D6804}"), nullptr, IReport::IID,
                               reinterpret_cast<void**>(report.put())),
              S_OK);
    const std::string text = report->PeriodReport(EncodeDate(2026, 3, 1), EncodeDate(2026, 3, 1) + 0.9, "");
    EXPECT_NE(text.find("   7 Хлеб"), std::string::npos) << text;
}

}  // namespace
}  // namespace tolver
