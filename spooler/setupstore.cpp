#include "spooler/setupstore.h"

#include <exception>

#include "common/utilgl.h"
#include "platform/registry/registry.h"

namespace tolver {

void TSetupStore::LoadSetup() {
    loadError_.clear();
    try {
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey)) {
            setup_.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        } else {
            setup_.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerKey);
            for (TXtCollection* list : {&setup_.TaxList, &setup_.DepList, &setup_.ArtList, &setup_.OpList})
                list->ClearStorageRefs();
        }
    } catch (const std::exception& e) {
        loadError_ = "Настройки не прочитаны из " + RegistryPath() + ": " + e.what();
    }
}

void TSetupStore::SaveSetup() { setup_.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey); }

void TSetupStore::SortLists() {
    for (TXtCollection* list : {&setup_.TaxList, &setup_.DepList, &setup_.ArtList, &setup_.OpList}) list->Sort();
}

}  // namespace tolver
