#pragma once
// The cash-register settings model shared by the spooler and the drivers: which
// driver and how to reach it, the numbered tax rates, departments, articles and
// cashiers, the whole spooler setup, the driver's limits, and two list helpers.
// Every variant reader raises Exception(kVariantReadError) for a bad array; writers
// always write the full form. Run-time bindings (DriverObject, EventIID) are never
// stored, exchanged or copied.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/fieldtable.h"
#include "common/properties.h"
#include "common/xtcollection.h"
#include "platform/registry/hkey.h"
#include "platform/variant/variant.h"

namespace tolver {

// ---- driver choice and port settings ---------------------------------------------

// Which driver: exchanged as [CashType, AutoObjectName, FilePath]. Drivers derive
// their settings class from it, override GetAsVariant, SetFromVariant, Assign and
// Create, and put the base form in their element 0.
class TCashDriverProperties : public TProperties {
public:
    std::int32_t CashType = 0;
    std::string AutoObjectName;  // ProgID of the driver's automation object
    std::string FilePath;        // the driver library

    void Assign(const TPersistent& source) override;
    std::unique_ptr<TProperties> Create() const override;
    const PropertyTable& Properties() const override;

    virtual void SaveToRegistry(HKEY rootKey, const std::string& key) const;
    virtual void LoadFromRegistry(HKEY rootKey, const std::string& key);
    virtual Variant GetAsVariant() const;
    virtual void SetFromVariant(const Variant& value);

    // High bound 1 or more; FilePath (element 2) is optional.
    static constexpr auto Fields() {
        using C = TCashDriverProperties;
        return FieldTableOf<C, kOpenEnded>(Field("CashType", &C::CashType, kPublished),
                               Field("AutoObjectName", &C::AutoObjectName, kPublished),
                               Field("FilePath", &C::FilePath, kOptional | kPublished));
    }
};

// Port and driver settings: [ComNumber, Baud, CashDriverProperties form,
// PropertiesData, AdvPropertiesData, ProtocolOn, NotificationOn].
class TCashDriverSetup : public TPersistent {
public:
    TCashDriverSetup();

    std::uint8_t ComNumber = 0;
    std::int32_t Baud = 0;
    bool ProtocolOn = false;
    bool NotificationOn = true;
    std::unique_ptr<TCashDriverProperties> CashDriverProperties;
    Variant PropertiesData;     // the driver's settings blob, opaque here
    Variant AdvPropertiesData;  // the driver's advanced settings blob
    Variant DriverObject;       // run time only
    std::string EventIID;       // run time only

    // Copies everything but DriverObject and EventIID; each setup keeps its own
    // CashDriverProperties object.
    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;

    // Key gets the four published values and the blobs "Properties" and
    // "AdvProperties"; Key\CashDriverProperties the driver choice. One transaction.
    virtual void SaveToRegistry(HKEY rootKey, const std::string& key) const;
    virtual void LoadFromRegistry(HKEY rootKey, const std::string& key);
    virtual Variant GetAsVariant() const;
    virtual void SetFromVariant(const Variant& value);

    // High bound 6 or more; the driver choice is read by the object held.
    static constexpr auto Fields() {
        using C = TCashDriverSetup;
        return FieldTableOf<C, kOpenEnded>(Field("ComNumber", &C::ComNumber, kPublished),
                               Field("Baud", &C::Baud, kPublished),
                               Field("CashDriverProperties", &C::CashDriverProperties),
                               Field("PropertiesData", &C::PropertiesData),
                               Field("AdvPropertiesData", &C::AdvPropertiesData),
                               Field("ProtocolOn", &C::ProtocolOn, kPublished),
                               Field("NotificationOn", &C::NotificationOn, kPublished));
    }
};

// ---- numbered items ---------------------------------------------------------------
// Each item publishes its fields after N, and reads its form whole or not at all.

// A tax rate; ValueAdv is optional.
class TCashTaxProperties : public TXtCollectionItem {
public:
    using TXtCollectionItem::TXtCollectionItem;
    std::string Description;
    Currency Value;     // percent
    Currency ValueAdv;  // the levy, percent

    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    static constexpr auto Fields() {
        using C = TCashTaxProperties;
        return FieldTableOf<C, kAllOrNothing>(BaseForm<TXtCollectionItem>(),
                               Field("Description", &C::Description, kPublished),
                               Field("Value", &C::Value, kPublished),
                               Field("ValueAdv", &C::ValueAdv, kOptional | kPublished));
    }
};

// A department.
class TCashDepProperties : public TXtCollectionItem {
public:
    using TXtCollectionItem::TXtCollectionItem;
    std::string Description;
    std::int32_t NTax = 0;

    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    static constexpr auto Fields() {
        using C = TCashDepProperties;
        return FieldTableOf<C, kExactLength | kAllOrNothing>(BaseForm<TXtCollectionItem>(),
                               Field("Description", &C::Description, kPublished),
                               Field("NTax", &C::NTax, kPublished));
    }
};

// An article; the last three fields are each optional.
class TCashArtProperties : public TXtCollectionItem {
public:
    using TXtCollectionItem::TXtCollectionItem;
    std::string Description;
    std::int32_t NDep = 0;
    std::int32_t NTax = 0;
    Currency Price;
    bool Return = false;  // a payout rather than a sale
    Currency TotalCount;  // quantity in stock

    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    static constexpr auto Fields() {
        using C = TCashArtProperties;
        return FieldTableOf<C, kAllOrNothing>(BaseForm<TXtCollectionItem>(),
                               Field("Description", &C::Description, kPublished),
                               Field("NDep", &C::NDep, kPublished), Field("NTax", &C::NTax, kPublished),
                               Field("Price", &C::Price, kOptional | kPublished),
                               Field("Return", &C::Return, kOptional | kPublished),
                               Field("TotalCount", &C::TotalCount, kOptional | kPublished));
    }
};

// A cashier.
class TCashOpProperties : public TXtCollectionItem {
public:
    using TXtCollectionItem::TXtCollectionItem;
    std::string Description;
    std::string Password;

    void Assign(const TPersistent& source) override;
    const PropertyTable& Properties() const override;
    Variant GetAsVariant() const override;
    void SetFromVariant(const Variant& value) override;

    static constexpr auto Fields() {
        using C = TCashOpProperties;
        return FieldTableOf<C, kExactLength | kAllOrNothing>(BaseForm<TXtCollectionItem>(),
                               Field("Description", &C::Description, kPublished),
                               Field("Password", &C::Password, kPublished));
    }
};

// The kinds of cash operation, 0 to 8.
extern const std::array<std::string_view, 9> CashOperationNames;

// ---- the spooler setup ------------------------------------------------------------

// Where the spooler keeps its setup (HKEY_LOCAL_MACHINE), and the older key it reads
// when that one is absent.
inline constexpr const char* kSpoolerSetupKey = "\\Software\\Norvale\\Spooler\\Setup";
inline constexpr const char* kSpoolerKey = "\\Software\\Norvale\\Spooler";

// Lines as one text, each line (the last too) ended by CR LF.
std::string LinesToText(const std::vector<std::string>& lines);
// A text split at CR LF, CR or LF; a break at the end adds no empty line.
std::vector<std::string> TextToLines(std::string_view text);

// Lines in a variant form: one text.
template <>
struct FormValue<std::vector<std::string>> {
    static Variant Write(const std::vector<std::string>& lines) { return LinesToText(lines); }
    static std::vector<std::string> Read(const VarFormReader& r, std::int64_t i) {
        return TextToLines(r.Get<std::string>(i));
    }
};

// The whole cash-register setup, stored field by field (the settings objects in
// subkeys of their names, the other fields as values) and exchanged as a 14-element
// array.
class TSpoolerSetup : public TPersistent {
public:
    TSpoolerSetup();

    TCashDriverSetup DriverSetup;
    TXtCollection TaxList;  // of TCashTaxProperties, numbered from 1
    TXtCollection DepList;  // of TCashDepProperties
    TXtCollection ArtList;  // of TCashArtProperties
    TXtCollection OpList;   // of TCashOpProperties
    std::int32_t DigitCount = 2;
    std::vector<std::string> BeginMsg;  // receipt header lines
    std::vector<std::string> FinalMsg;  // receipt footer lines
    bool ConfirmXReport = false;
    bool ConfirmZReport = true;
    // 0-based report indexes, each followed by ";".
    std::string AutoXReportsBefore;
    std::string AutoZReportsBefore;
    std::string AutoXReportsAfter;
    std::string AutoZReportsAfter;

    void Assign(const TPersistent& source) override;

    // One transaction; the plain values go under Key itself (REG_DWORD DigitCount,
    // ConfirmXReport and ConfirmZReport as 1 or 0, the texts as REG_SZ), and Key is not
    // cleared of other values. The lists remember the keys they were saved to.
    void SaveToRegistry(HKEY rootKey, const std::string& key);
    // From one consistent view. A plain value that is absent or of another type ends
    // the reading there (an absent text reads as "").
    void LoadFromRegistry(HKEY rootKey, const std::string& key);
    Variant GetAsVariant() const;
    void SetFromVariant(const Variant& value);

    // High bound 7 or more: elements 0 to 7 are required, 8 to 13 a chain that ends at
    // the first missing or bad element.
    static constexpr auto Fields() {
        using C = TSpoolerSetup;
        return FieldTableOf<C, kOpenEnded>(Field("DriverSetup", &C::DriverSetup), Field("TaxList", &C::TaxList),
                               Field("DepList", &C::DepList), Field("ArtList", &C::ArtList),
                               Field("OpList", &C::OpList), Field("DigitCount", &C::DigitCount),
                               Field("BeginMsg", &C::BeginMsg), Field("FinalMsg", &C::FinalMsg),
                               Field("ConfirmXReport", &C::ConfirmXReport, kOptional),
                               Field("ConfirmZReport", &C::ConfirmZReport, kChained),
                               Field("AutoXReportsBefore", &C::AutoXReportsBefore, kChained),
                               Field("AutoZReportsBefore", &C::AutoZReportsBefore, kChained),
                               Field("AutoXReportsAfter", &C::AutoXReportsAfter, kChained),
                               Field("AutoZReportsAfter", &C::AutoZReportsAfter, kChained));
    }
};

// ---- driver constraints and list helpers ------------------------------------------

struct TCashDriverConstraints {
    std::string VersionName;
    std::int32_t MaxDep = 0;
    std::int32_t MaxArt = 0;
    std::int32_t MaxTax = 0;
    std::int32_t MaxOp = 0;
    std::int32_t Reserved1 = 0;  // not exchanged
    std::int32_t NameLength = 0;
    std::int32_t Reserved2 = 0;
    std::int32_t HeaderLines = 0;
    std::int32_t FooterLines = 0;
    std::int32_t MsgLineWidth = 0;
    std::string ProgramItems;  // names, each followed by ";"
    std::string XReportItems;
    std::string ZReportItems;
    std::array<std::string, 5> ModeChoices;  // driver side only, never exchanged

    // High bound exactly 12.
    static constexpr auto Fields() {
        using C = TCashDriverConstraints;
        return FieldTableOf<C, kExactLength | kAllOrNothing>(Field("VersionName", &C::VersionName),
                               Field("MaxDep", &C::MaxDep), Field("MaxArt", &C::MaxArt),
                               Field("MaxTax", &C::MaxTax), Field("MaxOp", &C::MaxOp),
                               Field("NameLength", &C::NameLength), Field("Reserved2", &C::Reserved2),
                               Field("HeaderLines", &C::HeaderLines), Field("FooterLines", &C::FooterLines),
                               Field("MsgLineWidth", &C::MsgLineWidth), Field("ProgramItems", &C::ProgramItems),
                               Field("XReportItems", &C::XReportItems), Field("ZReportItems", &C::ZReportItems));
    }
};

Variant CashDriverConstraintsToVariant(const TCashDriverConstraints& c);
// High bound exactly 12. C changes only when the whole array reads; Reserved1 and
// ModeChoices are never touched.
void VariantToCashDriverConstraints(TCashDriverConstraints& c, const Variant& v);

// Whether ";" + i + ";" occurs in list (callers wrap their list as ";" + list + ";").
bool InSemicolonList(std::string_view list, std::int32_t i);

// Lays s out as lines of width characters for the register: CR and LF become blanks,
// trailing blanks go, runs of blanks become one; a line breaks at its last blank and
// is padded with blanks to the width, a word longer than the width is cut; the last
// piece is not padded. A width of 0 or less gives the text unwrapped.
std::string WrapText(std::string_view s, int width);

}  // namespace tolver
