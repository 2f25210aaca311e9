#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <optional>

#include "common/utilgl.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/paused_child.h"

using namespace tolver;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Registry : public RegistryTest {};

TEST_F(Registry, ValuesKeepTheirTypes) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
    reg.WriteString("S", "Текст");
    reg.WriteString("Empty", "");
    reg.WriteInteger("I", -5);
    reg.WriteBinaryData("B", {1, 2, 3});
    reg.WriteBinaryData("B0", {});
    reg.WriteFloat("F", 12.5);
    reg.WriteBool("T", true);

    const struct {
        const char* name;
        RegDataType type;
        int size;
    } cases[] = {
        {"S", RegDataType::String, 11},  // 10 UTF-8 bytes and the terminator
        {"Empty", RegDataType::String, 1},
        {"I", RegDataType::DWord, 4},
        {"B", RegDataType::Binary, 3},
        {"B0", RegDataType::Binary, 0},
        {"F", RegDataType::Binary, 8},
        {"T", RegDataType::DWord, 4},
        {"missing", RegDataType::None, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reg.GetDataType(c.name), c.type);
        EXPECT_EQ(reg.GetDataSize(c.name), c.size);
        EXPECT_EQ(reg.ValueExists(c.name), c.type != RegDataType::None);
    }
    EXPECT_EQ(reg.ReadString("s"), "Текст");
    EXPECT_EQ(reg.ReadInteger("I"), -5);
    EXPECT_EQ(reg.ReadBinaryData("B"), (Bytes{1, 2, 3}));
    EXPECT_EQ(reg.ReadBinaryData("F"), (Bytes{0, 0, 0, 0, 0, 0, 0x29, 0x40}));
    EXPECT_EQ(reg.ReadFloat("F"), 12.5);
    EXPECT_TRUE(reg.ReadBool("T"));

    // A missing string reads ""; every other missing or mistyped read raises.
    EXPECT_EQ(reg.ReadString("missing"), "");
    const std::function<void()> failing[] = {
        [&] { reg.ReadInteger("missing"); }, [&] { reg.ReadInteger("S"); },   [&] { reg.ReadString("I"); },
        [&] { reg.ReadBinaryData("S"); },    [&] { reg.ReadFloat("B"); },     [&] { reg.ReadFloat("missing"); },
        [&] { reg.ReadBool("S"); },          [&] { reg.ReadBinaryData("x"); },
    };
    for (const auto& f : failing) EXPECT_THROW(f(), ERegistryException);

    // Overwriting changes type and data in place.
    reg.WriteInteger("S", 7);
    EXPECT_EQ(reg.ReadInteger("S"), 7);
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"S", "Empty", "I", "B", "B0", "F", "T"}));
    EXPECT_TRUE(reg.DeleteValue("s"));
    EXPECT_FALSE(reg.DeleteValue("s"));
}

TEST_F(Registry, KeysAreCaseInsensitiveAndCasePreserving) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey("\\Software\\Norvale", false));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Norvale");
    ASSERT_TRUE(reg.OpenKey("Ключ\\Sub", true));  // relative
    EXPECT_EQ(reg.CurrentPath(), "Software\\Norvale\\Ключ\\Sub");
    reg.WriteString("Value", "x");

    for (const char* other : {"\\SOFTWARE\\norvale\\КЛЮЧ\\sub", "\\software\\NORVALE\\ключ\\SUB\\"}) {
        SCOPED_TRACE(other);
        TRegistry again(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(again.OpenKey(other, false));
        EXPECT_EQ(again.ReadString("VALUE"), "x");
    }
    ASSERT_TRUE(reg.OpenKey("\\software", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Norvale"});
    EXPECT_TRUE(reg.KeyExists("NORVALE\\ключ"));  // relative to the current key
    EXPECT_TRUE(reg.KeyExists("\\Software\\Norvale"));
    EXPECT_FALSE(reg.KeyExists("Missing"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Norvale\\Ключ"));
    // The roots are separate trees.
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "\\Software\\Norvale"));
    EXPECT_FALSE(RegKeyExists(0x1234, "\\Software"));
}

TEST_F(Registry, ListingOrderIsStable) {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\L", true));
    for (const char* k : {"b", "A", "2", "10", "1"}) {
        TRegistry sub(HKEY_CURRENT_USER);
        ASSERT_TRUE(sub.OpenKey(std::string("\\L\\") + k, true));
    }
    for (const char* v : {"z", "a", "m"}) reg.WriteInteger(v, 1);
    EXPECT_TRUE(reg.HasSubKeys());
    // Subkeys by name without regard to case, values in the order of their creation.
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"1", "10", "2", "A", "b"}));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"z", "a", "m"}));
}

// Inside a transaction the store keeps key and value positions in memory; the same
// steps must give the same results there.
TEST_F(Registry, DeleteKeyTakesEverythingBelow) {
    for (const bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "in a transaction" : "alone");
        std::optional<RegistryTransaction> tx;
        if (inTransaction) tx.emplace();
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("\\A\\B\\C", true));
        reg.WriteInteger("x", 1);
        ASSERT_TRUE(reg.OpenKey("\\A", false));
        reg.WriteInteger("keep", 1);
        EXPECT_TRUE(reg.DeleteKey("b"));
        EXPECT_FALSE(reg.DeleteKey("B"));
        EXPECT_FALSE(reg.KeyExists("\\A\\B\\C"));
        EXPECT_EQ(reg.ReadInteger("keep"), 1);
        // Made again, the key is empty and its values keep their order.
        ASSERT_TRUE(reg.OpenKey("\\A\\B\\C", true));
        EXPECT_FALSE(reg.ValueExists("x"));
        reg.WriteInteger("z", 1);
        reg.WriteInteger("y", 1);
        reg.WriteInteger("z", 2);
        EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"z", "y"}));
        ASSERT_TRUE(reg.OpenKey("\\A", false));
        // Neither a root nor the current key through "" is ever deleted.
        EXPECT_FALSE(reg.DeleteKey(""));
        EXPECT_FALSE(reg.DeleteKey("\\"));
        EXPECT_TRUE(reg.KeyExists("\\A"));
        // An accessor whose key was deleted under it fails to write.
        TRegistry other(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(other.DeleteKey("\\A"));
        ASSERT_TRUE(other.OpenKey("\\Z", true));  // a new key never takes the old one's place
        EXPECT_THROW(reg.WriteInteger("y", 1), ERegistryException);
        EXPECT_FALSE(reg.ValueExists("keep"));
        EXPECT_FALSE(other.ValueExists("y"));
        other.DeleteKey("\\Z");
        EXPECT_FALSE(other.KeyExists("\\A\\B"));
        if (tx) tx->Commit();
    }
}

TEST_F(Registry, TransactionsNestAndRollBack) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\T", true));
    {
        RegistryTransaction outer;
        reg.WriteInteger("outer", 1);
        {
            RegistryTransaction inner;
            reg.WriteInteger("inner", 1);
        }  // rolled back alone
        {
            RegistryTransaction inner;
            reg.WriteInteger("kept", 1);
            inner.Commit();
        }
        EXPECT_FALSE(reg.ValueExists("inner"));
        EXPECT_TRUE(reg.ValueExists("kept"));
        outer.Commit();
    }
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"outer", "kept"}));
    {
        RegistryTransaction tx;
        ASSERT_TRUE(reg.OpenKey("\\T\\New", true));
        reg.WriteInteger("v", 1);
        {
            RegistryTransaction inner;
            inner.Commit();
        }
    }
    // Keys made before a rolled-back savepoint keep their ids to themselves.
    {
        RegistryTransaction tx;
        TRegistry made(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(made.OpenKey("\\T\\Kept", true));
        {
            RegistryTransaction inner;
            TRegistry(HKEY_LOCAL_MACHINE).OpenKey("\\T\\Dropped", true);
        }
        tx.Commit();
        ASSERT_TRUE(made.DeleteKey("\\T\\Kept"));
        TRegistry(HKEY_LOCAL_MACHINE).OpenKey("\\T\\Later1", true);
        TRegistry(HKEY_LOCAL_MACHINE).OpenKey("\\T\\Later2", true);
        EXPECT_THROW(made.WriteInteger("v", 1), ERegistryException);
    }
    // The key made in the rolled-back transaction is gone, also for the accessor.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\T\\New"));
    EXPECT_THROW(reg.WriteInteger("v", 1), ERegistryException);
    TRegistry fresh(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(fresh.OpenKey("\\T\\New", true));
    EXPECT_FALSE(fresh.ValueExists("v"));
}

// A child process writes a large set of new values inside one transaction, tells the
// parent half-way through and waits there; the parent reads, then kills it.
TEST_F(Registry, KilledWriterLeavesTheOldContentWhole) {
    constexpr int kValues = 2000;
    {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("\\Big", true));
        for (int i = 0; i < kValues; ++i) reg.WriteInteger("v" + std::to_string(i), 0);
    }
    const auto content = [] {
        std::vector<int> seen(2, 0);  // how many old (0) and new (1) values
        RegistrySnapshot snap;
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey("\\Big", false)) return seen;
        for (const auto& name : reg.GetValueNames()) ++seen[reg.ReadInteger(name) == 0 ? 0 : 1];
        return seen;
    };
    for (const bool killIt : {true, false}) {
        SCOPED_TRACE(killIt ? "killed" : "completed");
        testutil::PausedChild child;
        ASSERT_TRUE(child.Start([&] {
            RegistryTransaction tx;
            TRegistry reg(HKEY_LOCAL_MACHINE);
            reg.DeleteKey("\\Big");
            reg.OpenKey("\\Big", true);
            for (int i = 0; i < kValues; ++i) {
                reg.WriteInteger("v" + std::to_string(i), 1);
                if (i == kValues / 2) child.Pause();
            }
            tx.Commit();
        }));
        ASSERT_TRUE(child.WaitPaused());
        // While the writer is half-way, readers see the old content.
        EXPECT_EQ(content(), (std::vector<int>{kValues, 0}));
        const int status = child.Finish(killIt);
        EXPECT_EQ(content(), killIt ? (std::vector<int>{kValues, 0}) : (std::vector<int>{0, kValues}));
        if (!killIt) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
    }
    // The store stays writable after the writer died holding its lock.
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\After", true));
    reg.WriteInteger("x", 1);
}

}  // namespace
