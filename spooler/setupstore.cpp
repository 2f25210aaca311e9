#include "spooler/setupstore.h"

#include <exception>

#include "common/utilgl.h"

namespace tolver {

void TSetupStore::LoadSetup() {
    try {
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey)) {
            setup_.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        } else {
            setup_.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerKey);
            for (TXtCollection* list : {&setup_.TaxList, &setup_.DepList, &setup_.ArtList, &setup_.OpList})
                list->ClearStorageRefs();
        }
    } catch (const std::exception&) {
    }
}

void TSetupStore::SaveSetup() { setup_.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey); }

void TSetupStore::SortLists() {
    for (TXtCollection* list : {&setup_.TaxList, &setup_.DepList, &setup_.ArtList, &setup_.OpList}) list->Sort();
}

}  // namespace tolver
