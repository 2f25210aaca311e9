#include "common/xtcollection.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/debug.h"
#include "common/utilgl.h"
#include "common/varform.h"
#include "common/variantstobuf.h"
#include "common/xtini.h"
#include "common/xtreg.h"
#include "platform/ini/inifile.h"
#include "platform/registry/registry.h"

namespace tolver {
namespace {

constexpr const char* kPropertiesValue = "Properties";

// A subkey or folder name that is a number in decimal ("7", "07", "-1").
bool ParseNumber(std::string_view name, std::int32_t& n) {
    if (name.empty()) return false;
    const char* first = name.data();
    if (*first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, name.data() + name.size(), n);
    return ec == std::errc() && end == name.data() + name.size() && first != end;
}

std::string SubKey(const std::string& key, std::int32_t n) { return key + "\\" + std::to_string(n); }

// Deletes a storage folder with its contents; never an empty path or a root.
void RemoveFolder(const std::string& dir) {
    if (dir.empty()) return;
    std::error_code ec;
    const auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(dir, ec), ec);
    if (ec || path.empty() || path == path.root_path()) return;
    std::filesystem::remove_all(path, ec);
}

}  // namespace

// ---- items ---------------------------------------------------------------------

TXtCollectionItem::TXtCollectionItem(TXtCollection* collection) : collection_(collection) {}

TXtCollectionItem::TXtCollectionItem(TXtCollection* collection, HKEY rootKey, std::string regKey)
    : RootKey(rootKey), RegKey(std::move(regKey)), collection_(collection) {}

TXtCollectionItem::TXtCollectionItem(TXtCollection* collection, std::string dir)
    : collection_(collection), dir_(std::move(dir)) {}

int TXtCollectionItem::Index() const {
    if (!collection_) return -1;
    for (int i = 0; i < collection_->Count(); ++i)
        if (collection_->GetItem(i) == this) return i;
    return -1;
}

void TXtCollectionItem::SetDir2(const std::string& value) { dir2_ = value; }
void TXtCollectionItem::SetDir(const std::string& value) { dir_ = value; }

const PropertyTable& TXtCollectionItem::Properties() const {
    static const PropertyTable table = Fields().Properties(TPersistent::Properties());
    return table;
}

void TXtCollectionItem::SaveToRegistry(HKEY rootKey, const std::string& key) {
    RootKey = rootKey;
    RegKey = key;
    RegistryTransaction tx;
    SaveObjectToRegistry(*this, rootKey, key);
    if (!PropertiesData.isEmpty()) {
        try {
            TRegistry reg(rootKey);
            if (reg.OpenKey(key, true)) reg.WriteBinaryData(kPropertiesValue, VariantToBuf(PropertiesData));
        } catch (const std::exception&) {
            // A blob that cannot be encoded or written is left out.
        }
    }
    tx.Commit();
}

void TXtCollectionItem::Save() { SaveToRegistry(RootKey, RegKey); }

void TXtCollectionItem::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    RootKey = rootKey;
    RegKey = key;
    RegistrySnapshot snap;
    LoadObjectFromRegistry(*this, rootKey, key);
    try {
        TRegistry reg(rootKey);
        if (reg.OpenKey(key, false)) ReadVariantBlob(reg, kPropertiesValue, PropertiesData);
    } catch (const std::exception&) {
        // A key that cannot be opened keeps the former blob.
    }
}

void TXtCollectionItem::Load() { LoadFromRegistry(RootKey, RegKey); }

void TXtCollectionItem::SaveToDir(const std::string& dir) {
    if (dir.empty()) return;
    SaveObjectToDir(*this, dir);
    try {
        std::string text;
        for (const std::uint8_t b : VariantToBuf(PropertiesData)) text += std::to_string(b) + ",";
        TIniFile(JoinPath(dir, kXtIniFile)).WriteString(kXtIniSection, kPropertiesValue, text);
    } catch (const std::exception&) {
        // A blob that cannot be encoded or written is left out.
    }
}

void TXtCollectionItem::SaveToDir() { SaveToDir(dir_); }
void TXtCollectionItem::SaveToDir2() { SaveToDir(dir2_); }

void TXtCollectionItem::LoadFromDir(const std::string& dir) {
    if (dir.empty()) return;
    LoadObjectFromDir(*this, dir);
    try {
        std::string text = TIniFile(JoinPath(dir, kXtIniFile)).ReadString(kXtIniSection, kPropertiesValue, "");
        if (text.empty()) return;
        std::vector<std::uint8_t> bytes;
        std::string token;
        while (!text.empty()) {
            CutFirstToken(text, ",", token);
            std::int32_t b = 0;
            if (!ParseNumber(token, b)) return;  // not a byte list: the blob stays
            bytes.push_back(static_cast<std::uint8_t>(b));
        }
        Variant v;
        BufToVariant(v, bytes);
        PropertiesData = std::move(v);
    } catch (const std::exception&) {
        // A blob that cannot be read keeps the former one.
    }
}

void TXtCollectionItem::LoadFromDir() { LoadFromDir(dir_); }
void TXtCollectionItem::LoadFromDir2() { LoadFromDir(dir2_); }

Variant TXtCollectionItem::GetAsVariant() const { return Fields().Write(*this); }

void TXtCollectionItem::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

std::string TXtCollectionItem::GetAsString() const {
    const std::vector<std::uint8_t> bytes = VariantToBuf(GetAsVariant());
    return std::string(bytes.begin(), bytes.end());
}

void TXtCollectionItem::SetAsString(const std::string& value) {
    Variant v;
    BufToVariant(v, reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
    SetFromVariant(v);
}

void TXtCollectionItem::AssignItem(const TXtCollectionItem& source) {
    Fields().Copy(*this, source);
    if (OnAssign) OnAssign(this);
}

void TXtCollectionItem::Assign(const TPersistent& source) {
    if (const auto* item = dynamic_cast<const TXtCollectionItem*>(&source)) {
        if (item != this) AssignItem(*item);
        return;
    }
    TPersistent::Assign(source);
}

// ---- collections ------------------------------------------------------------------

TXtCollection::TXtCollection(TXtItemClass itemClass) : itemClass_(std::move(itemClass)) {}
TXtCollection::~TXtCollection() = default;

TXtCollectionItem* TXtCollection::GetItem(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

void TXtCollection::SetDir2(const std::string& value) { dir2_ = value; }
void TXtCollection::SetDir(const std::string& value) { dir_ = value; }

TXtCollectionItem* TXtCollection::CreateItem(std::int32_t n) {
    const std::string number = std::to_string(n);
    items_.push_back(itemClass_(this, RootKey, RegKey.empty() ? std::string() : RegKey + "\\" + number));
    TXtCollectionItem* item = items_.back().get();
    item->collection_ = this;
    // Without a folder of its own the collection gives its items none either.
    item->SetDir(dir_.empty() ? std::string() : JoinPath(dir_, number));
    if (!dir2_.empty()) item->SetDir2(JoinPath(dir2_, number));
    item->N = n;
    if (OnNewItem) OnNewItem(item);
    return item;
}

TXtCollectionItem* TXtCollection::Add() { return CreateItem(FirstFreeN()); }

int TXtCollection::Compare(int index1, int index2) {
    TXtCollectionItem* a = GetItem(index1);
    TXtCollectionItem* b = GetItem(index2);
    if (!a || !b) return 0;
    if (a->N > b->N) return 1;
    if (a->N < b->N) return -1;
    if (index1 != index2) a->Duplicate = b->Duplicate = true;
    return 0;
}

void TXtCollection::QuickSort(int left, int right) {
    // Middle pivot, followed by position as items move; equal numbers compare as 0.
    int i;
    do {
        i = left;
        int j = right;
        int p = (left + right) / 2;
        do {
            while (Compare(i, p) < 0) ++i;
            while (Compare(j, p) > 0) --j;
            if (i <= j) {
                if (i != j) std::swap(items_[static_cast<std::size_t>(i)], items_[static_cast<std::size_t>(j)]);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j) QuickSort(left, j);
        left = i;
    } while (i < right);
}

void TXtCollection::Sort() {
    for (auto& item : items_) item->Duplicate = false;
    if (Count() > 1) QuickSort(0, Count() - 1);
}

std::int32_t TXtCollection::FirstFreeN() {
    if (Count() > 1) QuickSort(0, Count() - 1);
    // An item is taken while its number is not above last + 1 (a repeated number
    // included), or while last + 1 is below FirstN: the lowest item is always taken.
    std::int64_t last = -1;
    for (const auto& item : items_) {
        if (item->N <= last + 1 || last + 1 < FirstN)
            last = std::max<std::int64_t>(last, item->N);
        else
            break;
    }
    std::int64_t free = std::max<std::int64_t>(last + 1, FirstN);
    if (free > std::numeric_limits<std::int32_t>::max()) {
        // Past the largest number: the lowest number from FirstN (0 at least) that no
        // item has.
        free = std::max<std::int32_t>(FirstN, 0);
        for (const auto& item : items_) {
            if (item->N == free) ++free;
            else if (item->N > free) break;
        }
    }
    Sort();
    return static_cast<std::int32_t>(free);
}

void TXtCollection::DeleteItem(int index) {
    TXtCollectionItem* item = GetItem(index);
    if (!item) return;
    if (OnDeleteItem) OnDeleteItem(item);
    if (DeleteStorage) {
        if (item->RootKey != 0 && !item->RegKey.empty()) {
            try {
                TRegistry(item->RootKey).DeleteKey(item->RegKey);
            } catch (const std::exception&) {
                // The item goes all the same.
            }
        }
        RemoveFolder(item->Dir());
        RemoveFolder(item->Dir2());
    }
    Delete(index);
}

void TXtCollection::Delete(int index) {
    if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

void TXtCollection::Clear() { items_.clear(); }

void TXtCollection::ClearStorageRefs() {
    RootKey = 0;
    RegKey.clear();
    for (auto& item : items_) {
        item->RootKey = 0;
        item->RegKey.clear();
    }
}

TXtCollectionItem* TXtCollection::FindByN(std::int32_t n) const {
    for (const auto& item : items_)
        if (item->N == n) return item.get();
    return nullptr;
}

void TXtCollection::SaveToRegistry(HKEY rootKey, const std::string& key) {
    RootKey = rootKey;
    RegKey = key;
    RegistryTransaction tx;
    try {
        TRegistry(rootKey).DeleteKey(key);
    } catch (const std::exception&) {
        // Whatever was there is overwritten item by item.
    }
    // Each item under its number, whatever key it remembers.
    for (auto& item : items_) item->SaveToRegistry(rootKey, SubKey(key, item->N));
    tx.Commit();
}

void TXtCollection::Save() { SaveToRegistry(RootKey, RegKey); }

void TXtCollection::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    RootKey = rootKey;
    RegKey = key;
    Clear();
    try {
        RegistrySnapshot snap;
        TRegistry reg(rootKey);
        if (!reg.OpenKey(key, false)) return;
        for (const auto& name : reg.GetKeyNames()) {
            std::int32_t n;
            if (!ParseNumber(name, n)) continue;
            TXtCollectionItem* item = CreateItem(n);
            try {
                item->LoadFromRegistry(rootKey, key + "\\" + name);  // the name as listed
            } catch (const std::exception&) {
                // The item keeps what was read.
            }
        }
    } catch (const std::exception&) {
        // What was loaded stays.
    }
}

void TXtCollection::Load() { LoadFromRegistry(RootKey, RegKey); }

void TXtCollection::SaveToDir(const std::string& dir) {
    if (dir.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) return;
    for (auto& item : items_) item->SaveToDir(JoinPath(dir, std::to_string(item->N)));
}

void TXtCollection::SaveToDir() { SaveToDir(dir_); }
void TXtCollection::SaveToDir2() { SaveToDir(dir2_); }

void TXtCollection::LoadFromDir(const std::string& dir) {
    if (dir.empty()) return;
    Clear();
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::int32_t n;
        if (!ParseNumber(name, n)) continue;
        TXtCollectionItem* item = CreateItem(n);
        try {
            item->LoadFromDir(JoinPath(dir, name));  // the name as listed
        } catch (const std::exception&) {
            // The item keeps what was read.
        }
    }
}

void TXtCollection::LoadFromDir() { LoadFromDir(dir_); }
void TXtCollection::LoadFromDir2() { LoadFromDir(dir2_); }

Variant TXtCollection::GetAsVariant() const {
    if (items_.empty()) return VarArray({0, Variant()});
    std::vector<Variant> forms;
    forms.reserve(items_.size());
    for (const auto& item : items_) forms.push_back(item->GetAsVariant());
    return VarArray({Count(), Variant(SafeArray::Of(std::move(forms)))});
}

void TXtCollection::SetFromVariant(const Variant& value) {
    const VarFormReader outer(value, 1, 1);
    Clear();
    const std::int32_t count = outer.Get<std::int32_t>(0);
    if (count <= 0) return;
    const VarFormReader inner(outer.At(1), count - 1, count - 1);
    for (std::int32_t i = 0; i < count; ++i) {
        TXtCollectionItem* item = CreateItem(-1);
        try {
            item->SetFromVariant(inner.At(i));
        } catch (...) {
            Delete(Count() - 1);  // the item that failed is not kept
            throw;
        }
    }
}

void TXtCollection::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TXtCollection*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    for (int i = Count() - 1; i >= 0; --i) {
        TXtCollectionItem* own = GetItem(i);
        const TXtCollectionItem* match = nullptr;
        for (int j = other->Count() - 1; j >= 0 && !match; --j)
            if (other->GetItem(j)->N == own->N) match = other->GetItem(j);
        if (match)
            own->Assign(*match);
        else
            DeleteItem(i);
    }
    for (const auto& src : other->items_)
        if (!FindByN(src->N)) CreateItem(src->N)->Assign(*src);
}

}  // namespace tolver
