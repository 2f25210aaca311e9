// The skeleton's automation object on a fake line: the contract's members reach the
// driver object, its engine and its frames, and the operations refuse.
#include <gtest/gtest.h>

#include <QComboBox>

#include "drivers/skeleton/driver/skeletondriver.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/gui_test_main.h"
#include "platform/timing/clock.h"

using namespace tolver;

namespace {

TEST(SkeletonAuto, MembersReachTheDriverObject) {
    TFakeClock clock;
    auto object = MakeComObject<TSkeletonDriverAuto>([&clock] {
        return std::make_unique<TSkeletonDriver>(
            std::make_unique<TSkeletonProtocol>(std::make_unique<TFakePort>(), clock, false));
    });
    ICashDriverAuto* d = object.get();

    // The line, through the engine, and Init on the settings loaded from the blob.
    ASSERT_EQ(d->set_ComNumber(4), S_OK);
    std::uint8_t com = 0;
    ASSERT_EQ(d->get_ComNumber(&com), S_OK);
    EXPECT_EQ(com, 4);
    TCashSkeletonDriverProperties blob;
    GetSkeletonDefaultProperties(blob);
    blob.Priority = 5;
    std::string cause;
    std::int32_t v = -1;
    ASSERT_EQ(d->Init(blob.GetAsVariant(), &cause, &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(object->Driver().Protocol().Priority(), 5);
    EXPECT_EQ(object->Driver().PropertiesFrame()->comboPriority->currentIndex(), 5);
    bool interacting = false;
    ASSERT_EQ(d->get_InInteraction(&interacting), S_OK);
    EXPECT_TRUE(interacting);

    std::string description;
    ASSERT_EQ(d->get_CashModelDescription(&description), S_OK);
    EXPECT_EQ(description, "Skeleton\x01" "1.0");
    v = 0;
    ASSERT_EQ(d->AddPayArt(1.0, Currency::Parse("1"), Currency::Parse("1"), 1, &v), S_OK);
    EXPECT_EQ(v, -1);

    ASSERT_EQ(d->Done(), S_OK);
    ASSERT_EQ(d->get_InInteraction(&interacting), S_OK);
    EXPECT_FALSE(interacting);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
