#pragma once
// The settings dialog's view of the item lists, apart from the widgets: which items
// break the connected driver's limits, the cells of a row, the limits and status
// texts, and the defaults of a new item.

#include <string>
#include <vector>

#include "common/cashgl.h"

namespace tolver {

// The four item lists, in the order of the dialog's pages.
enum class TItemListKind { Tax = 0, Dep = 1, Art = 2, Op = 3 };

// The list of that kind in a setup.
TXtCollection& ItemList(TSpoolerSetup& setup, TItemListKind kind);

// Whether the item breaks an upper limit: its number, its department or tax rate
// number, or the length of its name in characters. Numbers below 1 and references to
// items that do not exist pass.
bool ItemBreaksLimits(TItemListKind kind, const TXtCollectionItem& item, const TCashDriverConstraints& c);

// The row of an item: its name, then one text per further column.
std::string ItemName(const TXtCollectionItem& item);
std::vector<std::string> ItemCells(TItemListKind kind, const TXtCollectionItem& item);

// What the driver allows, shown under each list.
std::string LimitsText(TItemListKind kind, const TCashDriverConstraints& c);
// The status line under each list.
std::string ListStatusText(TItemListKind kind, bool hasErrors);
// The header and footer limits on the receipt page.
std::string MessageLimitsText(const TCashDriverConstraints& c);

// The defaults of a newly created item (its number is already set).
void SetNewItemDefaults(TItemListKind kind, TXtCollectionItem& item);

// Marks every item that breaks the limits (its error mark) and tells whether any item
// of the list has its error or duplicate mark set. The list's own flag records it too.
bool CheckItemList(TItemListKind kind, TXtCollection& list, const TCashDriverConstraints& c);

}  // namespace tolver
