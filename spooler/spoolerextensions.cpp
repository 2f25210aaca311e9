#include "spooler/spoolerextensions.h"

namespace tolver {

namespace {

std::vector<TSpoolerExtension>& Extensions() {
    static std::vector<TSpoolerExtension> list;
    return list;
}

TSpoolerDialogsFactory& Dialogs() {
    static TSpoolerDialogsFactory factory;
    return factory;
}

}  // namespace

bool RegisterSpoolerExtension(TSpoolerExtension extension) {
    Extensions().push_back(std::move(extension));
    return true;
}

const std::vector<TSpoolerExtension>& SpoolerExtensions() { return Extensions(); }

bool RegisterSpoolerDialogs(TSpoolerDialogsFactory factory) {
    Dialogs() = std::move(factory);
    return true;
}

const TSpoolerDialogsFactory& SpoolerDialogsFactory() { return Dialogs(); }

}  // namespace tolver
