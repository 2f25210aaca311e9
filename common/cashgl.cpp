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
    CashType = s->CashType;
    AutoObjectName = s->AutoObjectName;
    FilePath = s->FilePath;
}

std::unique_ptr<TProperties> TCashDriverProperties::Create() const { return std::make_unique<TCashDriverProperties>(); }

const PropertyTable& TCashDriverProperties::Properties() const {
    using C = TCashDriverProperties;
    static const PropertyTable table(TProperties::Properties(), {
        Published("CashType", &C::CashType),
        Published("AutoObjectName", &C::AutoObjectName),
        Published("FilePath", &C::FilePath),
    });
    return table;
}

void TCashDriverProperties::SaveToRegistry(HKEY rootKey, const std::string& key) const {
    SaveObjectToRegistry(*this, rootKey, key);
}

void TCashDriverProperties::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    LoadObjectFromRegistry(*this, rootKey, key);
}

Variant TCashDriverProperties::GetAsVariant() const { return VarArray({CashType, AutoObjectName, FilePath}); }

void TCashDriverProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 1);
    CashType = r.Get<std::int32_t>(0);
    AutoObjectName = r.Get<std::string>(1);
    r.Try(2, FilePath);
}

// ---- TCashDriverSetup -----------------------------------------------------------------

TCashDriverSetup::TCashDriverSetup() : CashDriverProperties(std::make_unique<TCashDriverProperties>()) {}

const PropertyTable& TCashDriverSetup::Properties() const {
    using C = TCashDriverSetup;
    static const PropertyTable table(TPersistent::Properties(), {
        Published("ComNumber", &C::ComNumber),
        Published("Baud", &C::Baud),
        Published("ProtocolOn", &C::ProtocolOn),
        Published("NotificationOn", &C::NotificationOn),
    });
    return table;
}

void TCashDriverSetup::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashDriverSetup>(source);
    if (!s) return TPersistent::Assign(source);
    if (s == this) return;
    ComNumber = s->ComNumber;
    Baud = s->Baud;
    CashDriverProperties->Assign(*s->CashDriverProperties);
    PropertiesData = s->PropertiesData;
    AdvPropertiesData = s->AdvPropertiesData;
    ProtocolOn = s->ProtocolOn;
    NotificationOn = s->NotificationOn;
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

Variant TCashDriverSetup::GetAsVariant() const {
    return VarArray({static_cast<std::int32_t>(ComNumber), Baud, CashDriverProperties->GetAsVariant(), PropertiesData,
                     AdvPropertiesData, ProtocolOn, NotificationOn});
}

void TCashDriverSetup::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 6);
    ComNumber = r.Get<std::uint8_t>(0);
    Baud = r.Get<std::int32_t>(1);
    CashDriverProperties->SetFromVariant(r.At(2));
    PropertiesData = r.At(3);
    AdvPropertiesData = r.At(4);
    ProtocolOn = r.Get<bool>(5);
    NotificationOn = r.Get<bool>(6);
}

// ---- items --------------------------------------------------------------------------
// Each reader reads into locals and commits only when the whole form has been read.

void TCashTaxProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashTaxProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Description = s->Description;
    Value = s->Value;
    ValueAdv = s->ValueAdv;
    AssignItem(*s);
}

const PropertyTable& TCashTaxProperties::Properties() const {
    using C = TCashTaxProperties;
    static const PropertyTable table(TXtCollectionItem::Properties(), {
        Published("Description", &C::Description),
        Published("Value", &C::Value),
        Published("ValueAdv", &C::ValueAdv),
    });
    return table;
}

Variant TCashTaxProperties::GetAsVariant() const {
    return VarArray({TXtCollectionItem::GetAsVariant(), Description, Value, ValueAdv});
}

void TCashTaxProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 2);
    std::int32_t n;
    Variant data;
    ReadItemForm(r.At(0), n, data);
    std::string description = r.Get<std::string>(1);
    const Currency v = r.Get<Currency>(2);
    Currency adv = ValueAdv;
    r.Try(3, adv);
    N = n;
    PropertiesData = std::move(data);
    Description = std::move(description);
    Value = v;
    ValueAdv = adv;
}

void TCashDepProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashDepProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Description = s->Description;
    NTax = s->NTax;
    AssignItem(*s);
}

const PropertyTable& TCashDepProperties::Properties() const {
    using C = TCashDepProperties;
    static const PropertyTable table(TXtCollectionItem::Properties(), {
        Published("Description", &C::Description),
        Published("NTax", &C::NTax),
    });
    return table;
}

Variant TCashDepProperties::GetAsVariant() const {
    return VarArray({TXtCollectionItem::GetAsVariant(), Description, NTax});
}

void TCashDepProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 2, 2);
    std::int32_t n;
    Variant data;
    ReadItemForm(r.At(0), n, data);
    std::string description = r.Get<std::string>(1);
    const std::int32_t tax = r.Get<std::int32_t>(2);
    N = n;
    PropertiesData = std::move(data);
    Description = std::move(description);
    NTax = tax;
}

void TCashArtProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashArtProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Description = s->Description;
    NDep = s->NDep;
    NTax = s->NTax;
    Price = s->Price;
    Return = s->Return;
    TotalCount = s->TotalCount;
    AssignItem(*s);
}

const PropertyTable& TCashArtProperties::Properties() const {
    using C = TCashArtProperties;
    static const PropertyTable table(TXtCollectionItem::Properties(), {
        Published("Description", &C::Description),
        Published("NDep", &C::NDep),
        Published("NTax", &C::NTax),
        Published("Price", &C::Price),
        Published("Return", &C::Return),
        Published("TotalCount", &C::TotalCount),
    });
    return table;
}

Variant TCashArtProperties::GetAsVariant() const {
    return VarArray({TXtCollectionItem::GetAsVariant(), Description, NDep, NTax, Price, Return, TotalCount});
}

void TCashArtProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 3);
    std::int32_t n;
    Variant data;
    ReadItemForm(r.At(0), n, data);
    std::string description = r.Get<std::string>(1);
    const std::int32_t dep = r.Get<std::int32_t>(2);
    const std::int32_t tax = r.Get<std::int32_t>(3);
    Currency price = Price, total = TotalCount;
    bool ret = Return;
    r.Try(4, price);
    r.Try(5, ret);
    r.Try(6, total);
    N = n;
    PropertiesData = std::move(data);
    Description = std::move(description);
    NDep = dep;
    NTax = tax;
    Price = price;
    Return = ret;
    TotalCount = total;
}

void TCashOpProperties::Assign(const TPersistent& source) {
    const auto* s = SourceOf<TCashOpProperties>(source);
    if (!s) return TPersistent::Assign(source);
    Description = s->Description;
    Password = s->Password;
    AssignItem(*s);
}

const PropertyTable& TCashOpProperties::Properties() const {
    using C = TCashOpProperties;
    static const PropertyTable table(TXtCollectionItem::Properties(), {
        Published("Description", &C::Description),
        Published("Password", &C::Password),
    });
    return table;
}

Variant TCashOpProperties::GetAsVariant() const {
    return VarArray({TXtCollectionItem::GetAsVariant(), Description, Password});
}

void TCashOpProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 2, 2);
    std::int32_t n;
    Variant data;
    ReadItemForm(r.At(0), n, data);
    std::string description = r.Get<std::string>(1);
    std::string password = r.Get<std::string>(2);
    N = n;
    PropertiesData = std::move(data);
    Description = std::move(description);
    Password = std::move(password);
}

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
    if (s == this) return;
    DriverSetup.Assign(s->DriverSetup);
    TaxList.Assign(s->TaxList);
    DepList.Assign(s->DepList);
    ArtList.Assign(s->ArtList);
    OpList.Assign(s->OpList);
    DigitCount = s->DigitCount;
    BeginMsg = s->BeginMsg;
    FinalMsg = s->FinalMsg;
    ConfirmXReport = s->ConfirmXReport;
    ConfirmZReport = s->ConfirmZReport;
    AutoXReportsBefore = s->AutoXReportsBefore;
    AutoZReportsBefore = s->AutoZReportsBefore;
    AutoXReportsAfter = s->AutoXReportsAfter;
    AutoZReportsAfter = s->AutoZReportsAfter;
}

void TSpoolerSetup::SaveToRegistry(HKEY rootKey, const std::string& key) {
    RegistryTransaction tx;
    DriverSetup.SaveToRegistry(rootKey, key + "\\DriverSetup");
    TaxList.SaveToRegistry(rootKey, key + "\\TaxList");
    DepList.SaveToRegistry(rootKey, key + "\\DepList");
    ArtList.SaveToRegistry(rootKey, key + "\\ArtList");
    OpList.SaveToRegistry(rootKey, key + "\\OpList");
    try {
        TRegistry reg(rootKey);
        if (reg.OpenKey(key, true)) {
            reg.WriteInteger("DigitCount", DigitCount);
            reg.WriteString("BeginMsg", LinesToText(BeginMsg));
            reg.WriteString("FinalMsg", LinesToText(FinalMsg));
            reg.WriteBool("ConfirmXReport", ConfirmXReport);
            reg.WriteBool("ConfirmZReport", ConfirmZReport);
            reg.WriteString("AutoXReportsBefore", AutoXReportsBefore);
            reg.WriteString("AutoZReportsBefore", AutoZReportsBefore);
            reg.WriteString("AutoXReportsAfter", AutoXReportsAfter);
            reg.WriteString("AutoZReportsAfter", AutoZReportsAfter);
        }
    } catch (const std::exception&) {
        // The values written so far stay.
    }
    tx.Commit();
}

void TSpoolerSetup::LoadFromRegistry(HKEY rootKey, const std::string& key) {
    RegistrySnapshot snap;
    DriverSetup.LoadFromRegistry(rootKey, key + "\\DriverSetup");
    TaxList.LoadFromRegistry(rootKey, key + "\\TaxList");
    DepList.LoadFromRegistry(rootKey, key + "\\DepList");
    ArtList.LoadFromRegistry(rootKey, key + "\\ArtList");
    OpList.LoadFromRegistry(rootKey, key + "\\OpList");
    try {
        TRegistry reg(rootKey);
        if (!reg.OpenKey(key, false)) return;
        DigitCount = reg.ReadInteger("DigitCount");
        BeginMsg = TextToLines(reg.ReadString("BeginMsg"));
        FinalMsg = TextToLines(reg.ReadString("FinalMsg"));
        ConfirmXReport = reg.ReadBool("ConfirmXReport");
        ConfirmZReport = reg.ReadBool("ConfirmZReport");
        AutoXReportsBefore = reg.ReadString("AutoXReportsBefore");
        AutoZReportsBefore = reg.ReadString("AutoZReportsBefore");
        AutoXReportsAfter = reg.ReadString("AutoXReportsAfter");
        AutoZReportsAfter = reg.ReadString("AutoZReportsAfter");
    } catch (const std::exception&) {
        // The reading ends at the first bad value; what was read stays.
    }
}

Variant TSpoolerSetup::GetAsVariant() const {
    return VarArray({DriverSetup.GetAsVariant(), TaxList.GetAsVariant(), DepList.GetAsVariant(), ArtList.GetAsVariant(),
                     OpList.GetAsVariant(), DigitCount, LinesToText(BeginMsg), LinesToText(FinalMsg), ConfirmXReport,
                     ConfirmZReport, AutoXReportsBefore, AutoZReportsBefore, AutoXReportsAfter, AutoZReportsAfter});
}

void TSpoolerSetup::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 7);
    DriverSetup.SetFromVariant(r.At(0));
    TaxList.SetFromVariant(r.At(1));
    DepList.SetFromVariant(r.At(2));
    ArtList.SetFromVariant(r.At(3));
    OpList.SetFromVariant(r.At(4));
    DigitCount = r.Get<std::int32_t>(5);
    BeginMsg = TextToLines(r.Get<std::string>(6));
    FinalMsg = TextToLines(r.Get<std::string>(7));
    // One guard for the rest: the first missing or bad element ends the reading.
    r.Try(8, ConfirmXReport) && r.Try(9, ConfirmZReport) && r.Try(10, AutoXReportsBefore) &&
        r.Try(11, AutoZReportsBefore) && r.Try(12, AutoXReportsAfter) && r.Try(13, AutoZReportsAfter);
}

// ---- constraints and list helpers ------------------------------------------------------

Variant CashDriverConstraintsToVariant(const TCashDriverConstraints& c) {
    return VarArray({c.VersionName, c.MaxDep, c.MaxArt, c.MaxTax, c.MaxOp, c.NameLength, c.Reserved2, c.HeaderLines,
                     c.FooterLines, c.MsgLineWidth, c.ProgramItems, c.XReportItems, c.ZReportItems});
}

void VariantToCashDriverConstraints(TCashDriverConstraints& c, const Variant& v) {
    const VarFormReader r(v, 12, 12);
    TCashDriverConstraints t = c;
    t.VersionName = r.Get<std::string>(0);
    t.MaxDep = r.Get<std::int32_t>(1);
    t.MaxArt = r.Get<std::int32_t>(2);
    t.MaxTax = r.Get<std::int32_t>(3);
    t.MaxOp = r.Get<std::int32_t>(4);
    t.NameLength = r.Get<std::int32_t>(5);
    t.Reserved2 = r.Get<std::int32_t>(6);
    t.HeaderLines = r.Get<std::int32_t>(7);
    t.FooterLines = r.Get<std::int32_t>(8);
    t.MsgLineWidth = r.Get<std::int32_t>(9);
    t.ProgramItems = r.Get<std::string>(10);
    t.XReportItems = r.Get<std::string>(11);
    t.ZReportItems = r.Get<std::string>(12);
    c = std::move(t);
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
