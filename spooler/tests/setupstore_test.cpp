// The setup store: settings under the older key are read and saved under the new one.

#include <gtest/gtest.h>

#include <fstream>

#include "common/utilgl.h"
#include "platform/registry/temp_registry.h"
#include "spooler/setupstore.h"

using namespace tolver;

namespace {

TEST(SetupStore, SettingsUnderTheOldKeyAreReadAndSavedUnderTheNewOne) {
    TempRegistry registry;
    TSetupStore store;
    {
        TSpoolerSetup old;
        old.DigitCount = 3;
        old.BeginMsg = {"СТАРЫЙ"};
        static_cast<TCashOpProperties*>(old.OpList.CreateItem(1))->Description = "Кассир 1";
        old.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerKey);
    }
    store.LoadSetup();
    EXPECT_EQ(store.Setup().DigitCount, 3);
    EXPECT_EQ(store.Setup().BeginMsg, std::vector<std::string>{"СТАРЫЙ"});
    ASSERT_EQ(store.Setup().OpList.Count(), 1);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey));
    store.SaveSetup();
    ASSERT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey));
    TSpoolerSetup fresh;
    fresh.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    EXPECT_EQ(fresh.DigitCount, 3);
    ASSERT_EQ(fresh.OpList.Count(), 1);
    EXPECT_EQ(fresh.OpList.Item<TCashOpProperties>(0)->Description, "Кассир 1");
}

TEST(SetupStore, AStoreThatIsNoDatabaseIsNamedWithTheReason) {
    TempRegistry registry;
    std::ofstream(registry.path()) << std::string(4096, 'x');
    TSetupStore store;
    store.LoadSetup();
    EXPECT_EQ(store.Setup().DriverSetup.CashDriverProperties->CashType, 0);
    EXPECT_TRUE(store.LoadError().starts_with("Настройки не прочитаны из " + registry.path() + ": ")) << store.LoadError();
    EXPECT_NE(store.LoadError().find("not a database"), std::string::npos) << store.LoadError();
}

}  // namespace
