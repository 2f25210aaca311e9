#include "spooler/dialogs/propertieslogic.h"

#include <cstdio>

#include "platform/variant/utf.h"

namespace tolver {

namespace {

std::string Format(const char* format, auto... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

bool NameTooLong(const std::string& name, const TCashDriverConstraints& c) {
    return static_cast<std::int64_t>(Utf8Length(name)) > c.NameLength;
}

// A percentage as "%7.3f " followed by "%".
std::string Percent(Currency value) { return Format("%7.3f ", value.ToDouble()) + "%"; }

}  // namespace

TXtCollection& ItemList(TSpoolerSetup& setup, TItemListKind kind) {
    switch (kind) {
        case TItemListKind::Tax: return setup.TaxList;
        case TItemListKind::Dep: return setup.DepList;
        case TItemListKind::Art: return setup.ArtList;
        case TItemListKind::Op: break;
    }
    return setup.OpList;
}

std::string ItemName(const TXtCollectionItem& item) {
    if (auto* tax = dynamic_cast<const TCashTaxProperties*>(&item)) return tax->Description;
    if (auto* dep = dynamic_cast<const TCashDepProperties*>(&item)) return dep->Description;
    if (auto* art = dynamic_cast<const TCashArtProperties*>(&item)) return art->Description;
    if (auto* op = dynamic_cast<const TCashOpProperties*>(&item)) return op->Description;
    return {};
}

bool ItemBreaksLimits(TItemListKind kind, const TXtCollectionItem& item, const TCashDriverConstraints& c) {
    if (NameTooLong(ItemName(item), c)) return true;
    switch (kind) {
        case TItemListKind::Tax: return item.N > c.MaxTax;
        case TItemListKind::Dep: {
            auto* dep = dynamic_cast<const TCashDepProperties*>(&item);
            return item.N > c.MaxDep || (dep && dep->NTax > c.MaxTax);
        }
        case TItemListKind::Art: {
            auto* art = dynamic_cast<const TCashArtProperties*>(&item);
            return item.N > c.MaxArt || (art && (art->NDep > c.MaxDep || art->NTax > c.MaxTax));
        }
        case TItemListKind::Op: return item.N > c.MaxOp;
    }
    return false;
}

std::vector<std::string> ItemCells(TItemListKind kind, const TXtCollectionItem& item) {
    std::vector<std::string> cells{Format("%d", item.N)};
    if (auto* tax = dynamic_cast<const TCashTaxProperties*>(&item)) {
        cells.push_back(Percent(tax->Value));
        cells.push_back(Percent(tax->ValueAdv));
    } else if (auto* dep = dynamic_cast<const TCashDepProperties*>(&item)) {
        cells.push_back(Format("%d", dep->NTax));
    } else if (auto* art = dynamic_cast<const TCashArtProperties*>(&item)) {
        cells.push_back(Format("%d", art->NDep));
        cells.push_back(Format("%d", art->NTax));
        cells.push_back(Format("%7.2f", art->Price.ToDouble()));
        cells.push_back(Format("%7.3f", art->TotalCount.ToDouble()));
    } else if (auto* op = dynamic_cast<const TCashOpProperties*>(&item)) {
        cells.push_back(op->Password);
    }
    return cells;
}

std::string LimitsText(TItemListKind kind, const TCashDriverConstraints& c) {
    switch (kind) {
        case TItemListKind::Tax:
            return Format("Номер ставки от 1 до %d; наименование не более %d символов", c.MaxTax, c.NameLength);
        case TItemListKind::Dep:
            return Format("Номер отдела от 1 до %d; номер ставки от 1 до %d; наименование не более %d символов",
                          c.MaxDep, c.MaxTax, c.NameLength);
        case TItemListKind::Art:
            return Format(
                "Номер артикула от 1 до %d; номер отдела от 1 до %d; номер ставки от 1 до %d; наименование не более "
                "%d символов",
                c.MaxArt, c.MaxDep, c.MaxTax, c.NameLength);
        case TItemListKind::Op: break;
    }
    return Format("Номер кассира от 1 до %d; имя не более %d символов", c.MaxOp, c.NameLength);
}

std::string ListStatusText(TItemListKind kind, bool hasErrors) {
    static const char* const errors[] = {"Список налоговых ставок содержит ошибки", "Список отделов содержит ошибки",
                                         "Список артикулов содержит ошибки", "Список кассиров содержит ошибки"};
    static const char* const clean[] = {"Список налоговых ставок ошибок не содержит", "Список отделов ошибок не содержит",
                                        "Список артикулов ошибок не содержит", "Список кассиров ошибок не содержит"};
    return (hasErrors ? errors : clean)[static_cast<int>(kind)];
}

std::string MessageLimitsText(const TCashDriverConstraints& c) {
    return Format(
        "%d строк начального сообщения; %d строк заключительного сообщения; каждая строка не более %d символов",
        c.HeaderLines, c.FooterLines, c.MsgLineWidth);
}

void SetNewItemDefaults(TItemListKind kind, TXtCollectionItem& item) {
    const std::string n = std::to_string(item.N);
    if (auto* tax = dynamic_cast<TCashTaxProperties*>(&item)) {
        tax->Description = "Ставка НДС  " + n;
        tax->Value = Currency::FromUnits(20);
        tax->ValueAdv = Currency();
    } else if (auto* dep = dynamic_cast<TCashDepProperties*>(&item)) {
        dep->Description = "Отдел " + n;
        dep->NTax = 1;
    } else if (auto* art = dynamic_cast<TCashArtProperties*>(&item)) {
        art->Description = "Артикул " + n;
        art->NDep = 1;
        art->NTax = 1;
    } else if (auto* op = dynamic_cast<TCashOpProperties*>(&item)) {
        op->Description = "Кассир " + n;
        op->Password = "5173";
    }
}

bool CheckItemList(TItemListKind kind, TXtCollection& list, const TCashDriverConstraints& c) {
    bool any = false;
    for (int i = 0; i < list.Count(); ++i) {
        TXtCollectionItem* item = list.GetItem(i);
        item->Error = ItemBreaksLimits(kind, *item, c);
        any = any || item->Error || item->Duplicate;
    }
    list.Error = any;
    return any;
}

}  // namespace tolver
