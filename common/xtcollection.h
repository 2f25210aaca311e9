#pragma once
// Numbered item collections: items that carry a user-visible number N and an opaque
// settings blob, stored one per subkey (registry) or folder named by N in decimal,
// exchanged as variant arrays, and matched by number when one list is assigned to
// another.
//
// Registry form under key K: item n under K\n with its published properties (the
// REG_DWORD "N" among them) and the blob as the REG_BINARY "Properties" (written only
// when not Empty). Folder form under D: item n in D/n/Data.ini, section "Xt", the
// blob as the entry "Properties" holding each byte of its encoding in decimal,
// followed by a comma (always written: an Empty blob gives "0,0,").
// Variant form of an item: [N, PropertiesData]; of a collection: [count, items], the
// items an array from 0 of each item's form, Empty when the count is 0.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/fieldtable.h"
#include "common/properties.h"
#include "platform/registry/hkey.h"
#include "platform/variant/variant.h"

namespace tolver {

class TXtCollection;
class TXtCollectionItem;

using TXtItemEvent = std::function<void(TXtCollectionItem* item)>;

class TXtCollectionItem : public TPersistent {
public:
    explicit TXtCollectionItem(TXtCollection* collection = nullptr);
    TXtCollectionItem(TXtCollection* collection, HKEY rootKey, std::string regKey);
    TXtCollectionItem(TXtCollection* collection, std::string dir);

    std::int32_t N = -1;
    Variant PropertiesData;
    TXtItemEvent OnAssign;  // fired at the end of Assign with this item
    bool Error = false;      // kept for the settings dialog; the library never sets it
    bool Duplicate = false;  // set by Compare for two items of one number, cleared by Sort
    HKEY RootKey = 0;        // the item's own storage reference (0: none)
    std::string RegKey;

    TXtCollection* Collection() const { return collection_; }
    int Index() const;  // the position in the collection, -1 when in none
    const std::string& Dir() const { return dir_; }
    const std::string& Dir2() const { return dir2_; }

    virtual void SetDir2(const std::string& value);
    virtual void SetDir(const std::string& value);
    virtual void SaveToRegistry(HKEY rootKey, const std::string& key);
    virtual void Save();
    virtual void LoadFromRegistry(HKEY rootKey, const std::string& key);
    virtual void Load();
    virtual void SaveToDir(const std::string& dir);
    virtual void SaveToDir();
    virtual void SaveToDir2();
    virtual void LoadFromDir(const std::string& dir);
    virtual void LoadFromDir();
    virtual void LoadFromDir2();
    virtual Variant GetAsVariant() const;
    // Value must be [N, PropertiesData] from 0 to 1; nothing changes when it fails.
    virtual void SetFromVariant(const Variant& value);
    // GetAsVariant encoded, one character per byte, and the inverse.
    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& value);

    // Copies N and PropertiesData from another item, then fires OnAssign. Storage
    // references and marks are not copied.
    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;

    // The item form [N, PropertiesData], exactly; a descendant's element 0.
    static constexpr auto Fields() {
        using C = TXtCollectionItem;
        return FieldTableOf<C, kExactLength | kAllOrNothing>(Field("N", &C::N, kPublished),
                               Field("PropertiesData", &C::PropertiesData));
    }

protected:
    // Sets N and PropertiesData and fires OnAssign: the end of every Assign.
    void AssignItem(const TXtCollectionItem& source);

private:
    friend class TXtCollection;
    TXtCollection* collection_;
    std::string dir_;
    std::string dir2_;
};

// The item class of a collection: its constructor (collection, root, registry key).
using TXtItemClass = std::function<std::unique_ptr<TXtCollectionItem>(TXtCollection*, HKEY, const std::string&)>;

template <class T>
TXtItemClass ItemClassOf() {
    return [](TXtCollection* c, HKEY root, const std::string& key) { return std::make_unique<T>(c, root, key); };
}

class TXtCollection : public TPersistent {
public:
    explicit TXtCollection(TXtItemClass itemClass = ItemClassOf<TXtCollectionItem>());
    ~TXtCollection() override;
    TXtCollection(const TXtCollection&) = delete;
    TXtCollection& operator=(const TXtCollection&) = delete;

    TXtItemEvent OnNewItem;     // fired by CreateItem with the new item
    TXtItemEvent OnDeleteItem;  // fired by DeleteItem before the item goes
    bool Error = false;         // kept for the settings dialog; the library never reads it
    bool DeleteStorage = false; // DeleteItem also deletes the item's stored data
    std::int32_t FirstN = 0;    // the lowest number FirstFreeN hands out
    HKEY RootKey = 0;
    std::string RegKey;

    int Count() const { return static_cast<int>(items_.size()); }
    TXtCollectionItem* GetItem(int index) const;  // nullptr out of range
    template <class T>
    T* Item(int index) const {
        return static_cast<T*>(GetItem(index));
    }
    const std::string& Dir() const { return dir_; }
    const std::string& Dir2() const { return dir2_; }

    // A new item of the item class appended at the end, numbered n, with its storage
    // references derived from the collection's (none where the collection has none).
    TXtCollectionItem* CreateItem(std::int32_t n);
    TXtCollectionItem* Add();  // CreateItem(FirstFreeN())
    // The lowest free number from FirstN on, above the lowest item; sorts the items.
    std::int32_t FirstFreeN();
    // Fires OnDeleteItem, with DeleteStorage deletes the stored data, then the item.
    void DeleteItem(int index);
    // Removes and frees the item without notification.
    void Delete(int index);
    void Clear();  // every item, without notification
    void ClearStorageRefs();
    void Sort();  // ascending by number; renews the duplicate marks
    // The first item numbered n, in list order; nullptr when there is none.
    TXtCollectionItem* FindByN(std::int32_t n) const;
    template <class T>
    T* FindByN(std::int32_t n) const {
        return static_cast<T*>(FindByN(n));
    }

    virtual void SetDir2(const std::string& value);
    virtual void SetDir(const std::string& value);
    // 1, -1 or 0 by the numbers of two items; equal numbers at two positions mark both.
    virtual int Compare(int index1, int index2);
    virtual void SaveToRegistry(HKEY rootKey, const std::string& key);
    virtual void Save();
    virtual void LoadFromRegistry(HKEY rootKey, const std::string& key);
    virtual void Load();
    virtual void SaveToDir(const std::string& dir);
    virtual void SaveToDir();
    virtual void SaveToDir2();
    virtual void LoadFromDir(const std::string& dir);
    virtual void LoadFromDir();
    virtual void LoadFromDir2();
    virtual Variant GetAsVariant() const;
    virtual void SetFromVariant(const Variant& value);

    // Matches items by number: own items with a number the source has are assigned
    // in place, the others deleted through DeleteItem; the source's other items are
    // created and assigned, in the source's order.
    void Assign(const TPersistent& source) override;

private:
    void QuickSort(int left, int right);

    TXtItemClass itemClass_;
    std::vector<std::unique_ptr<TXtCollectionItem>> items_;
    std::string dir_;
    std::string dir2_;
};

}  // namespace tolver
