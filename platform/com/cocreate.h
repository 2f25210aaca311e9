#pragma once
// Creating objects by class identifier or ProgID.
//
// A class is found first in the process's class table (factories registered with
// CoRegisterClassObject, and the runtime's own classes such as the component
// category manager), then in HKEY_CLASSES_ROOT of the registry store: the module
// named by CLSID\{clsid}\InprocServer32 is loaded (once per process; it stays loaded)
// and its DllGetClassObject hands out the factory.

#include <cstdint>
#include <string>

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

namespace tolver {

// CO_E_CLASSSTRING for a ProgID that is not registered (or malformed).
HRESULT CLSIDFromProgID(const std::string& progId, GUID* clsid);
// REGDB_E_CLASSNOTREG for an unknown class, CO_E_DLLNOTFOUND when its module does
// not load, CO_E_ERRORINDLL when the module has no DllGetClassObject.
HRESULT CoGetClassObject(const GUID& clsid, const GUID& iid, void** object);
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, const GUID& iid, void** object);

// The process's class table. The factory is held (a reference is added) until it
// is revoked.
HRESULT CoRegisterClassObject(const GUID& clsid, IUnknown* factory, std::uint32_t* cookie);
HRESULT CoRevokeClassObject(std::uint32_t cookie);

// The same, raising EOleError on failure.
ComPtr<IUnknown> CreateComObject(const GUID& clsid);
// The object registered under progId, as its IDispatch.
ComPtr<IDispatch> CreateOleObject(const std::string& progId);

}  // namespace tolver
