#include "common/xtcollection.h"

#include <gtest/gtest.h>


#include "common/cashgl.h"
#include "common/variantstobuf.h"
#include "platform/ini/inifile.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/paused_child.h"

using namespace tolver;

namespace {

constexpr const char* kList = "\\Software\\Test\\List";

std::vector<std::int32_t> Numbers(const TXtCollection& c) {
    std::vector<std::int32_t> out;
    for (int i = 0; i < c.Count(); ++i) out.push_back(c.GetItem(i)->N);
    return out;
}

void Fill(TXtCollection& c, const std::vector<std::int32_t>& numbers) {
    c.Clear();
    for (const auto n : numbers) c.CreateItem(n);
}

std::vector<std::string> SubKeys(const std::string& key) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    return reg.OpenKey(key, false) ? reg.GetKeyNames() : std::vector<std::string>{};
}

class XtCollection : public RegistryTest {
protected:
    TXtCollection list_{ItemClassOf<TCashDepProperties>()};
};

TEST_F(XtCollection, FirstFreeN) {
    const struct {
        std::int32_t firstN;
        std::vector<std::int32_t> numbers;
        std::int32_t expected;
    } cases[] = {
        {1, {}, 1},         {1, {1, 2, 3}, 4},     {1, {3, 1}, 2},        {1, {2, 3}, 4},    {1, {5}, 6},
        {0, {1, 2}, 0},     {0, {2, 0}, 1},        {1, {4, 2, 1}, 3},
        // Repeated numbers are never handed out again.
        {1, {1, 1, 2}, 3},  {1, {2, 1, 2, 3}, 4},  {0, {0, 0}, 1},        {1, {1, 1}, 2},
        {0, {-5, 0}, 1},    {1, {-1, -1, 1}, 2},
        // After the largest number, a free one lower down.
        {1, {2147483647}, 1},  {5, {1, 2147483647}, 5},  {1, {2147483647, 2147483647}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.numbers));
        list_.FirstN = c.firstN;
        Fill(list_, c.numbers);
        EXPECT_EQ(list_.FirstFreeN(), c.expected);
        auto sorted = c.numbers;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(Numbers(list_), sorted);  // and the list is sorted
    }
}

TEST_F(XtCollection, SortMarksDuplicates) {
    Fill(list_, {3, 1, 3, 2});
    list_.Sort();
    EXPECT_EQ(Numbers(list_), (std::vector<std::int32_t>{1, 2, 3, 3}));
    const std::vector<bool> marks = {false, false, true, true};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list_.GetItem(i)->Duplicate, marks[static_cast<std::size_t>(i)]) << i;
    list_.GetItem(3)->N = 4;
    list_.Sort();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(list_.GetItem(i)->Duplicate) << i;
    EXPECT_EQ(list_.FindByN(4), list_.GetItem(3));
    EXPECT_EQ(list_.FindByN(9), nullptr);
}

TEST_F(XtCollection, CreateItemDerivesStorageReferences) {
    list_.FirstN = 1;
    list_.RootKey = HKEY_LOCAL_MACHINE;
    std::vector<TXtCollectionItem*> created;
    list_.OnNewItem = [&](TXtCollectionItem* item) { created.push_back(item); };
    // Without a key or folder of its own the collection gives its items none.
    TXtCollectionItem* first = list_.Add();
    EXPECT_EQ(first->N, 1);
    EXPECT_EQ(first->RegKey, "");
    EXPECT_EQ(first->Dir(), "");
    EXPECT_EQ(first->Dir2(), "");
    list_.RegKey = kList;
    list_.SetDir("/data/list");
    list_.SetDir2("/backup/");
    TXtCollectionItem* second = list_.Add();
    EXPECT_EQ(second->N, 2);
    EXPECT_EQ(second->RootKey, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(second->RegKey, std::string(kList) + "\\2");
    EXPECT_EQ(second->Dir(), "/data/list/2");
    EXPECT_EQ(second->Dir2(), "/backup/2");
    EXPECT_EQ(second->Index(), 1);
    EXPECT_EQ(created, (std::vector<TXtCollectionItem*>{first, second}));
    list_.ClearStorageRefs();
    EXPECT_EQ(list_.RootKey, 0u);
    EXPECT_EQ(second->RegKey, "");
}

TEST_F(XtCollection, RegistryForm) {
    Fill(list_, {1, 2, 4});
    list_.GetItem(1)->PropertiesData = VarArray({5, "ab"});
    list_.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
    EXPECT_EQ(SubKeys(kList), (std::vector<std::string>{"1", "2", "4"}));
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(std::string(kList) + "\\2", false));
    EXPECT_EQ(reg.ReadInteger("N"), 2);
    EXPECT_EQ(reg.ReadBinaryData("Properties"), VariantToBuf(VarArray({5, "ab"})));
    ASSERT_TRUE(reg.OpenKey(std::string(kList) + "\\1", false));
    EXPECT_FALSE(reg.ValueExists("Properties"));  // an Empty blob is not written

    TXtCollection back(ItemClassOf<TCashDepProperties>());
    back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kList);
    EXPECT_EQ(Numbers(back), (std::vector<std::int32_t>{1, 2, 4}));
    EXPECT_EQ(back.GetItem(1)->PropertiesData, VarArray({5, "ab"}));

    // Saving after a deletion leaves no subkey of the deleted item.
    list_.DeleteItem(1);
    list_.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
    EXPECT_EQ(SubKeys(kList), (std::vector<std::string>{"1", "4"}));
}

TEST_F(XtCollection, LoadTakesNumericSubkeysByTheirListedName) {
    const auto seed = [](const std::string& name, std::int32_t n, const char* description) {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey(std::string(kList) + "\\" + name, true));
        if (n >= 0) reg.WriteInteger("N", n);
        reg.WriteString("Description", description);
    };
    seed("1", 1, "one");
    seed("x", 3, "not a number");
    seed("07", -1, "padded");  // no "N": the number comes from the name
    seed("5", 9, "renumbered");
    seed("9", 5, "swapped");
    list_.LoadFromRegistry(HKEY_LOCAL_MACHINE, kList);
    list_.Sort();
    ASSERT_EQ(Numbers(list_), (std::vector<std::int32_t>{1, 5, 7, 9}));
    EXPECT_EQ(list_.Item<TCashDepProperties>(2)->Description, "padded");
    EXPECT_EQ(list_.Item<TCashDepProperties>(1)->Description, "swapped");
    // Every item is saved under its number: nothing is lost, "07" and "x" are gone.
    list_.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
    EXPECT_EQ(SubKeys(kList), (std::vector<std::string>{"1", "5", "7", "9"}));
    TXtCollection back(ItemClassOf<TCashDepProperties>());
    back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kList);
    back.Sort();
    std::vector<std::string> names;
    for (int i = 0; i < back.Count(); ++i) names.push_back(back.Item<TCashDepProperties>(i)->Description);
    EXPECT_EQ(names, (std::vector<std::string>{"one", "swapped", "padded", "renumbered"}));
}

TEST_F(XtCollection, SaveAfterSetFromVariantUsesTheNumbers) {
    // Items made from a variant remember keys derived from -1; the save ignores them.
    list_.RegKey = kList;
    list_.RootKey = HKEY_LOCAL_MACHINE;
    TXtCollection source(ItemClassOf<TCashDepProperties>());
    Fill(source, {3, 8});
    list_.SetFromVariant(source.GetAsVariant());
    EXPECT_EQ(list_.GetItem(0)->RegKey, std::string(kList) + "\\-1");
    list_.Save();
    EXPECT_EQ(SubKeys(kList), (std::vector<std::string>{"3", "8"}));
}

TEST_F(XtCollection, AssignMatchesByNumber) {
    Fill(list_, {1, 2});
    TXtCollectionItem* one = list_.GetItem(0);
    TXtCollection source(ItemClassOf<TCashDepProperties>());
    Fill(source, {1, 3});
    source.Item<TCashDepProperties>(0)->Description = "new one";
    source.Item<TCashDepProperties>(1)->Description = "three";
    std::vector<std::int32_t> deleted, assigned;
    list_.OnDeleteItem = [&](TXtCollectionItem* item) { deleted.push_back(item->N); };
    one->OnAssign = [&](TXtCollectionItem* item) { assigned.push_back(item->N); };
    list_.Assign(source);
    EXPECT_EQ(Numbers(list_), (std::vector<std::int32_t>{1, 3}));
    EXPECT_EQ(list_.GetItem(0), one);  // updated in place
    EXPECT_EQ(list_.Item<TCashDepProperties>(0)->Description, "new one");
    EXPECT_EQ(list_.Item<TCashDepProperties>(1)->Description, "three");
    EXPECT_EQ(deleted, std::vector<std::int32_t>{2});
    EXPECT_EQ(assigned, std::vector<std::int32_t>{1});
    // The copy is by content.
    source.Item<TCashDepProperties>(1)->Description = "changed";
    EXPECT_EQ(list_.Item<TCashDepProperties>(1)->Description, "three");
}

TEST_F(XtCollection, VariantForm) {
    Fill(list_, {4, 2});
    list_.GetItem(0)->PropertiesData = "blob";
    TXtCollection back(ItemClassOf<TCashDepProperties>());
    back.SetFromVariant(list_.GetAsVariant());
    EXPECT_EQ(Numbers(back), (std::vector<std::int32_t>{4, 2}));
    EXPECT_EQ(back.GetItem(0)->PropertiesData, Variant("blob"));
    list_.Clear();
    EXPECT_EQ(list_.GetAsVariant(), VarArray({0, Variant()}));

    const Variant dep = back.GetItem(1)->GetAsVariant();
    const Variant bad = VarArray({VarArray({5, Variant()}), "x"});  // two elements: no department
    const struct {
        const char* what;
        Variant value;
        bool raises;
        std::vector<std::int32_t> numbers;  // afterwards; the list held {7} before
    } cases[] = {
        {"count 0 ignores the rest", VarArray({0, "anything"}), false, {}},
        {"negative count", VarArray({-1, Variant()}), false, {}},
        {"three where two are counted", VarArray({2, VarArray({dep, dep, dep})}), true, {}},
        {"items not an array", VarArray({1, 5}), true, {}},
        // The item whose form failed is not kept, nor half filled.
        {"a bad item ends the reading", VarArray({3, VarArray({dep, bad, dep})}), true, {2}},
        {"three elements: nothing changes", VarArray({1, VarArray({dep}), 0}), true, {7}},
        {"not an array: nothing changes", Variant(1), true, {7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill(back, {7});
        if (c.raises) {
            try {
                back.SetFromVariant(c.value);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), kVariantReadError);
            }
        } else {
            back.SetFromVariant(c.value);
        }
        EXPECT_EQ(Numbers(back), c.numbers);
    }

    TCashDepProperties item;
    item.N = 6;
    item.Description = "Отдел";
    item.PropertiesData = VarArray({1.5, true});
    TCashDepProperties copy;
    copy.SetAsString(item.GetAsString());
    EXPECT_EQ(copy.GetAsVariant(), item.GetAsVariant());
}

TEST_F(XtCollection, FolderForm) {
    const auto dir = registry_.dir() / "list";
    Fill(list_, {1, 2});
    list_.GetItem(1)->PropertiesData = 5;
    list_.SaveToDir(dir.string());
    // The blob is every byte in decimal with a comma after each; Empty gives "0,0,".
    EXPECT_EQ(TIniFile((dir / "1" / "Data.ini").string()).ReadString("Xt", "Properties", ""), "0,0,");
    EXPECT_EQ(TIniFile((dir / "2" / "Data.ini").string()).ReadString("Xt", "Properties", ""), "3,0,5,0,0,0,");
    std::filesystem::rename(dir / "2", dir / "02");  // loaded from the name as listed
    std::filesystem::create_directories(dir / "x");
    TXtCollection back(ItemClassOf<TCashDepProperties>());
    back.LoadFromDir(dir.string());
    back.Sort();
    ASSERT_EQ(Numbers(back), (std::vector<std::int32_t>{1, 2}));
    EXPECT_TRUE(back.GetItem(0)->PropertiesData.isEmpty());
    EXPECT_EQ(back.GetItem(1)->PropertiesData, Variant(5));
    // A byte list that is not one keeps the blob.
    TIniFile((dir / "1" / "Data.ini").string()).WriteString("Xt", "Properties", "1,x,");
    back.GetItem(0)->PropertiesData = "kept";
    back.GetItem(0)->LoadFromDir((dir / "1").string());
    EXPECT_EQ(back.GetItem(0)->PropertiesData, Variant("kept"));
    // A missing folder leaves an empty list.
    back.LoadFromDir((registry_.dir() / "missing").string());
    EXPECT_EQ(back.Count(), 0);
}

TEST_F(XtCollection, DeleteStorageRemovesOnlyRealStorage) {
    const auto dir = registry_.dir() / "store";
    list_.DeleteStorage = true;
    list_.RootKey = HKEY_LOCAL_MACHINE;
    list_.RegKey = kList;
    list_.SetDir(dir.string());
    list_.CreateItem(1);
    list_.CreateItem(2);
    list_.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
    list_.SaveToDir(dir.string());
    list_.DeleteItem(0);
    EXPECT_EQ(SubKeys(kList), std::vector<std::string>{"2"});
    EXPECT_FALSE(std::filesystem::exists(dir / "1"));
    EXPECT_TRUE(std::filesystem::exists(dir / "2" / "Data.ini"));
    // An item without storage references deletes nothing.
    TXtCollection bare(ItemClassOf<TCashDepProperties>());
    bare.DeleteStorage = true;
    bare.CreateItem(2);
    bare.DeleteItem(0);
    EXPECT_EQ(bare.Count(), 0);
    EXPECT_EQ(SubKeys(kList), std::vector<std::string>{"2"});
}

// An article whose save, at one chosen item, tells the parent and waits there.
const testutil::PausedChild* g_child = nullptr;
std::int32_t g_pauseAt = -1;

class TPausingArt : public TCashArtProperties {
public:
    using TCashArtProperties::TCashArtProperties;
    std::int32_t GetMark() const {
        if (N == g_pauseAt && g_child) g_child->Pause();
        return N;
    }
    void SetMark(std::int32_t) {}
    const PropertyTable& Properties() const override {
        static const PropertyTable table(TCashArtProperties::Properties(),
                                         {Published("Mark", &TPausingArt::GetMark, &TPausingArt::SetMark)});
        return table;
    }
};

TEST_F(XtCollection, KilledSaveLeavesTheOldListWhole) {
    constexpr int kItems = 3000;
    const auto descriptions = [] {
        std::vector<int> seen(2, 0);  // items holding the old text, the new text
        TXtCollection back(ItemClassOf<TCashArtProperties>());
        back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kList);
        for (int i = 0; i < back.Count(); ++i) ++seen[back.Item<TCashArtProperties>(i)->Description == "old" ? 0 : 1];
        return seen;
    };
    TXtCollection list(ItemClassOf<TPausingArt>());
    for (int i = 1; i <= kItems; ++i) static_cast<TPausingArt*>(list.CreateItem(i))->Description = "old";
    list.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
    for (const bool killIt : {true, false}) {
        SCOPED_TRACE(killIt ? "killed" : "completed");
        testutil::PausedChild child;
        ASSERT_TRUE(child.Start([&] {
            g_child = &child;
            g_pauseAt = kItems / 2;
            for (int i = 0; i < list.Count(); ++i) list.Item<TPausingArt>(i)->Description = "new";
            list.SaveToRegistry(HKEY_LOCAL_MACHINE, kList);
        }));
        ASSERT_TRUE(child.WaitPaused());
        EXPECT_EQ(descriptions(), (std::vector<int>{kItems, 0}));  // a reader meanwhile sees the old list
        child.Finish(killIt);
        EXPECT_EQ(descriptions(), killIt ? (std::vector<int>{kItems, 0}) : (std::vector<int>{0, kItems}));
    }
}

}  // namespace
