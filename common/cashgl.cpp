#include "common/cashgl.h"


#include "common/varform.h"
#include "common/variantstobuf.h"
#include "common/xtreg.h"
#include "platform/registry/registry.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr const char* kPropertiesBlob = "Properties";
constexpr const char* kAdvPropertiesBlob = "AdvProperties";

template <class T>
const T* SourceOf(const TPersistent& source) {
    return dynamic_cast<const T*>(&source);
}

}  // namespace

// ---- TCashDriverProperties ----------------------------------------------------------

void TCashDriverProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashDriverProperties>(source);
    if (!s) return TProperties::Assign(source);
    Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashDriverProperties::Create() const { return std::make_unique<TCashDriverProperties>(); }

const PropertyTable& TCashDriverProperties::Properties() const {
    static const PropertyTable table = Fields().Properties(TProperties::Properties());
    return table;
}

void TCashDriverProperties::SaveToRegistry(HKEY rootKey, const std::string& key) const {
    SaveObjectToRegistry(*this, rootKey, key);
}

void TCashDriverProperties::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    LoadObjectFromRegistry(*this, rootKey, key);
}

Variant TCashDriverProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashDriverProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- TCashDriverSetup -----------------------------------------------------------------

TCashDriverSetup::TCashDriverSetup() : CashDriverProperties(std::make_unique<TCashDriverProperties>()) {}

const PropertyTable& TCashDriverSetup::Properties() const {
    static const PropertyTable table = Fields().Properties(TPersistent::Properties());
    return table;
}

void TCashDriverSetup::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashDriverSetup>(source);
    if (!s) return TPersistent::Assign(source);
    if (s != this) Fields().Copy(*this, *s);
}

void TCashDriverSetup::SaveToRegistry(HKEY rootKey, const std::string& key) const {
    RegistryTransaction tx;
    SaveObjectToRegistry(*this, rootKey, key);  // first: it clears the key
    CashDriverProperties->SaveToRegistry(rootKey, key + "\\CashDriverProperties");
    try {
        TRegistry reg(rootKey);
        if (reg.OpenKey(key, true)) {
            reg.WriteBinaryData(kPropertiesBlob, VariantToBuf(PropertiesData));
            reg.WriteBinaryData(kAdvPropertiesBlob, VariantToBuf(AdvPropertiesData));
        }
    } catch (const std::exception&) {
        // A blob that cannot be encoded or written is left out.
    }
    tx.Commit();
}

void TCashDriverSetup::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    RegistrySnapshot snap;
    try {
        TRegistry reg(rootKey);
        if (reg.OpenKey(key, false)) {
            ReadVariantBlob(reg, kPropertiesBlob, PropertiesData);
            ReadVariantBlob(reg, kAdvPropertiesBlob, AdvPropertiesData);
        }
    } catch (const std::exception&) {
        // The blobs keep their values.
    }
    CashDriverProperties->LoadFromRegistry(rootKey, key + "\\CashDriverProperties");
    LoadObjectFromRegistry(*this, rootKey, key);
}

Variant TCashDriverSetup::GetAsVariant() const { return Fields().Write(*this); }

void TCashDriverSetup::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- items --------------------------------------------------------------------------
// Own fields first, then the item's part, so that OnAssign sees the whole item.

void TCashTaxProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashTaxProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Fields().Copy(*this, *s);
    AssignItem(*s);
}

const PropertyTable& TCashTaxProperties::Properties() const {
    static const PropertyTable table = Fields().Properties(TXtCollectionItem::Properties());
    return table;
}

Variant TCashTaxProperties::GetAsVariant() const { return Fields().Write(*this); }
void TCashTaxProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

void TCashDepProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashDepProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Fields().Copy(*this, *s);
    AssignItem(*s);
}

const PropertyTable& TCashDepProperties::Properties() const {
    static const PropertyTable table = Fields().Properties(TXtCollectionItem::Properties());
    return table;
}

Variant TCashDepProperties::GetAsVariant() const { return Fields().Write(*this); }
void TCashDepProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

void TCashArtProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashArtProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Fields().Copy(*this, *s);
    AssignItem(*s);
}

const PropertyTable& TCashArtProperties::Properties() const {
    static const PropertyTable table = Fields().Properties(TXtCollectionItem::Properties());
    return table;
}

Variant TCashArtProperties::GetAsVariant() const { return Fields().Write(*this); }
void TCashArtProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

void TCashOpProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashOpProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Fields().Copy(*this, *s);
    AssignItem(*s);
}

const PropertyTable& TCashOpProperties::Properties() const {
    static const PropertyTable table = Fields().Properties(TXtCollectionItem::Properties());
    return table;
}

Variant TCashOpProperties::GetAsVariant() const { return Fields().Write(*this); }
void TCashOpProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

const std::array<std::string_view, 9> CashOperationNames = {
    "нет",
    "Чек по отделу",
    "Чек по артикулу",
    "Внесение наличных",
    "Изъятие наличных",
    "Изъятие по отделу",
    "Изъятие по артикулу",
    "Внесение по отделу",
    "Внесение по артикулу"
};

// ---- TSpoolerSetup --------------------------------------------------------------------

std::string LinesToText(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

std::vector<std::string> TextToLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(i));
            break;
        }
        lines.emplace_back(text.substr(i, end - i));
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

TSpoolerSetup::TSpoolerSetup()
    : TaxList(ItemClassOf<TCashTaxProperties>()),
      DepList(ItemClassOf<TCashDepProperties>()),
      ArtList(ItemClassOf<TCashArtProperties>()),
      OpList(ItemClassOf<TCashOpProperties>()) {
    TaxList.FirstN = DepList.FirstN = ArtList.FirstN = OpList.FirstN = 1;
}

void TSpoolerSetup::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TSpoolerSetup>(source);
    if (!s) return TPersistent::Assign(source);
    if (s != this) Fields().Copy(*this, *s);
}

namespace {

// The settings objects of the setup in the subkeys of their names, in row order.
template <class F>
void ForEachSetupObject(F&& f) {
    TSpoolerSetup::Fields().ForEach([&](const auto& row) {
        if constexpr (fields::FormObject<typename std::remove_cvref_t<decltype(row)>::Type>) f(row);
    });
}

// The plain fields of the setup as values of its key: the number as a REG_DWORD, the
// switches as REG_DWORD 1 or 0, the texts and the lines as REG_SZ.
template <class F>
void ForEachSetupValue(F&& f) {
    TSpoolerSetup::Fields().ForEach([&](const auto& row) {
        if constexpr (!fields::FormObject<typename std::remove_cvref_t<decltype(row)>::Type>) f(row);
    });
}

void WriteSetupValue(TRegistry& reg, const std::string& name, std::int32_t v) { reg.WriteInteger(name, v); }
void WriteSetupValue(TRegistry& reg, const std::string& name, bool v) { reg.WriteBool(name, v); }
void WriteSetupValue(TRegistry& reg, const std::string& name, const std::string& v) { reg.WriteString(name, v); }
void WriteSetupValue(TRegistry& reg, const std::string& name, const std::vector<std::string>& v) {
    reg.WriteString(name, LinesToText(v));
}
void ReadSetupValue(const TRegistry& reg, const std::string& name, std::int32_t& v) { v = reg.ReadInteger(name); }
void ReadSetupValue(const TRegistry& reg, const std::string& name, bool& v) { v = reg.ReadBool(name); }
void ReadSetupValue(const TRegistry& reg, const std::string& name, std::string& v) { v = reg.ReadString(name); }
void ReadSetupValue(const TRegistry& reg, const std::string& name, std::vector<std::string>& v) {
    v = TextToLines(reg.ReadString(name));
}

}  // namespace

void TSpoolerSetup::SaveToRegistry(HKEY rootKey, const std::string& key) {
    RegistryTransaction tx;
    ForEachSetupObject([&](const auto& row) {
        (this->*row.member).SaveToRegistry(rootKey, key + "\\" + std::string(row.name));
    });
    try {
        TRegistry reg(rootKey);
        if (reg.OpenKey(key, true))
            ForEachSetupValue([&](const auto& row) { WriteSetupValue(reg, std::string(row.name), this->*row.member); });
    } catch (const std::exception&) {
        // The values written so far stay.
    }
    tx.Commit();
}

void TSpoolerSetup::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    RegistrySnapshot snap;
    ForEachSetupObject([&](const auto& row) {
        (this->*row.member).LoadFromRegistry(rootKey, key + "\\" + std::string(row.name));
    });
    try {
        TRegistry reg(rootKey);
        if (!reg.OpenKey(key, false)) return;
        ForEachSetupValue([&](const auto& row) { ReadSetupValue(reg, std::string(row.name), this->*row.member); });
    } catch (const std::exception&) {
        // The reading ends at the first bad value; what was read stays.
    }
}

Variant TSpoolerSetup::GetAsVariant() const { return Fields().Write(*this); }

void TSpoolerSetup::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- constraints and list helpers ------------------------------------------------------

Variant CashDriverConstraintsToVariant(const TCashDriverConstraints& c) {
    return TCashDriverConstraints::Fields().Write(c);
}

void VariantToCashDriverConstraints(TCashDriverConstraints& c, const Variant& v) {
    TCashDriverConstraints::Fields().Read(c, v);
}

bool InSemicolonList(std::string_view list, std::int32_t i) {
    std::string needle(1, ';');
    needle += std::to_string(i);
    needle += ';';
    return list.find(needle) != std::string_view::npos;
}

std::string WrapText(std::string_view s, int width) {
    // Normalise: line breaks become blanks, trailing blanks go, runs become one blank.
    std::u32string text;
    for (std::size_t pos = 0; pos < s.size();) {
        char32_t c = Utf8Next(s, pos);
        if (c == U'\r' || c == U'\n') c = U' ';
        if (c == U' ' && !text.empty() && text.back() == U' ') continue;
        text.push_back(c);
    }
    while (!text.empty() && text.back() == U' ') text.pop_back();
    std::string out;
    const auto append = [&out](std::u32string_view part) {
        for (const char32_t c : part) Utf8Append(out, c);
    };
    if (width <= 0) {
        append(text);
        return out;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    std::u32string_view rest = text;
    std::size_t i = 1, cut = 0;  // 1-based position in rest; the last blank seen
    while (i <= rest.size()) {
        if (rest[i - 1] == U' ') cut = i;
        if (i <= w) {
            ++i;
            continue;
        }
        if (cut == 0) {
            append(rest.substr(0, w));
            rest.remove_prefix(w);
        } else {
            append(rest.substr(0, cut - 1));
            out.append(w - (cut - 1), ' ');
            rest.remove_prefix(cut);
        }
        i = 1;
        cut = 0;
    }
    append(rest);
    return out;
}

}  // namespace tolver
