// The command-result relay: every sink of every client in order, clients coming and
// going inside a delivery, results waiting for a client, the last client closing.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/exception.h"
#include "spooler/resultrelay.h"
#include "spooler/tests/fake_driver.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

class RelayTest : public ::testing::Test {
protected:
    TFakeView view;
    TResultRelay relay{view};
};

struct TRecordingSink : ISpoolerSink {
    std::vector<std::pair<int, int>> got;
    std::function<void()> during;
    bool fail = false;
    void OnCommandResult(std::int32_t id, std::int32_t result) override {
        if (during) during();
        if (fail) throw Exception("the client is gone");
        got.emplace_back(id, result);
    }
};

struct TTestClient : ISpoolerClient {
    std::vector<std::shared_ptr<ISpoolerSink>> sinks;
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override { return sinks; }
};

TEST_F(RelayTest, RelayGoesToEverySinkOfEveryClientInOrder) {
    auto a1 = std::make_shared<TRecordingSink>(), bad = std::make_shared<TRecordingSink>(),
         a2 = std::make_shared<TRecordingSink>(), b1 = std::make_shared<TRecordingSink>();
    bad->fail = true;
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>();
    a->sinks = {a1, bad, a2};
    b->sinks = {b1};
    relay.AddClient(a);
    relay.AddClient(b);
    relay.Queue(1, 0);
    relay.Queue(2, -1);
    relay.Queue(3, 0);
    relay.TimerCommandResultTick();
    const std::vector<std::pair<int, int>> all = {{1, 0}, {2, -1}, {3, 0}};
    EXPECT_EQ(a1->got, all);
    EXPECT_EQ(a2->got, all);
    EXPECT_EQ(b1->got, all);
    EXPECT_TRUE(relay.CommandResults().empty());
}

TEST_F(RelayTest, ClientsComingAndGoingInsideDeliveryDoNotDisturbIt) {
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>(), c = std::make_shared<TTestClient>();
    auto sa = std::make_shared<TRecordingSink>(), sb = std::make_shared<TRecordingSink>(),
         sc = std::make_shared<TRecordingSink>();
    a->sinks = {sa};
    b->sinks = {sb};
    c->sinks = {sc};
    // While the first result reaches a, b leaves and c comes.
    sa->during = [&] {
        if (sa->got.empty()) {
            relay.RemoveClient(b.get());
            relay.AddClient(c);
        }
    };
    relay.AddClient(a);
    relay.AddClient(b);
    relay.Queue(1, 0);
    relay.Queue(2, 0);
    relay.TimerCommandResultTick();
    EXPECT_EQ(sa->got.size(), 2u);
    EXPECT_TRUE(sb->got.empty());
    EXPECT_EQ(sc->got, (std::vector<std::pair<int, int>>{{2, 0}}));
}

TEST_F(RelayTest, ResultsWaitWhileNoClientIsConnected) {
    relay.Queue(1, 0);
    relay.TimerCommandResultTick();
    EXPECT_EQ(relay.CommandResults().size(), 1u);
    auto a = std::make_shared<TTestClient>();
    auto s = std::make_shared<TRecordingSink>();
    a->sinks = {s};
    relay.AddClient(a);
    relay.Queue(2, 0);
    relay.TimerCommandResultTick();
    EXPECT_EQ(s->got, (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}}));
}

TEST_F(RelayTest, LastClientLeavingClosesTheWindowFromTheEventLoop) {
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>();
    relay.AddClient(a);
    relay.AddClient(b);
    relay.RemoveClient(a.get());
    EXPECT_EQ(view.Closes, 0);
    relay.RemoveClient(b.get());
    EXPECT_EQ(view.Closes, 1);
    relay.RemoveClient(b.get());  // unknown: nothing
    EXPECT_EQ(view.Closes, 1);
}
}  // namespace
