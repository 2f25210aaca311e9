#include <gtest/gtest.h>

#include <QWidget>
#include <memory>

#include "platform/com/framehandle.h"
#include "platform/testing/gui_test_main.h"

using namespace tolver;

namespace {

TEST(FrameHandles, ResolveWhileTheFrameLives) {
    EXPECT_EQ(FrameHandle(nullptr), 0);
    EXPECT_EQ(FrameFromHandle(0), nullptr);
    EXPECT_EQ(FrameFromHandle(-5), nullptr);
    EXPECT_EQ(FrameFromHandle(123456), nullptr);  // never given out

    auto frame = std::make_unique<QWidget>();
    auto other = std::make_unique<QWidget>();
    const std::int32_t h = FrameHandle(frame.get());
    EXPECT_GT(h, 0);
    EXPECT_EQ(FrameHandle(frame.get()), h);  // asked again, the same handle
    const std::int32_t h2 = FrameHandle(other.get());
    EXPECT_NE(h2, h);
    EXPECT_EQ(FrameFromHandle(h), frame.get());
    EXPECT_EQ(FrameFromHandle(h2), other.get());

    // The driver frees its frame; the host's stale handle gives nothing, and a new
    // frame never takes over the old handle.
    frame.reset();
    EXPECT_EQ(FrameFromHandle(h), nullptr);
    auto next = std::make_unique<QWidget>();
    const std::int32_t h3 = FrameHandle(next.get());
    EXPECT_NE(h3, h);
    EXPECT_EQ(FrameFromHandle(h), nullptr);
    EXPECT_EQ(FrameFromHandle(h3), next.get());
    EXPECT_EQ(FrameFromHandle(h2), other.get());
}

}  // namespace

TOLVER_GUI_TEST_MAIN()
