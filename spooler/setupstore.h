#pragma once
// The live settings and the copy that the dialogs edit, kept in the registry store
// under "\Software\Norvale\Spooler\Setup".

#include <string>

#include "common/cashgl.h"

namespace tolver {

class TSetupStore {
public:
    TSpoolerSetup& Setup() { return setup_; }
    const TSpoolerSetup& Setup() const { return setup_; }
    TSpoolerSetup& EditSetup() { return editSetup_; }

    // From "\Software\Norvale\Spooler\Setup", else from the older key, whose list
    // keys are then forgotten so that every save goes to the new key. Settings that
    // cannot be read leave the defaults, and LoadError says why.
    void LoadSetup();
    // Why the last LoadSetup read nothing (a corrupt or unreadable store), for the
    // cashier; empty when it read.
    const std::string& LoadError() const { return loadError_; }
    void SaveSetup();
    // Sorts the tax, department, article and cashier lists by number.
    void SortLists();

private:
    TSpoolerSetup setup_;
    TSpoolerSetup editSetup_;
    std::string loadError_;
};

}  // namespace tolver
