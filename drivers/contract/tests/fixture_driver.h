#pragma once
// The test driver module's identifiers and private interface, shared by the module
// and the tests that load it.

#include "drivers/contract/sorbel_tlb.h"

namespace tolver::fixture {

inline constexpr GUID CLSID_TestDriver = MakeGUID("{5D0B7A31-2C4E-4F1A-9B67-3E8D2A1C0F11}");
inline constexpr GUID LIBID_TestDriver = MakeGUID("{5D0B7A30-2C4E-4F1A-9B67-3E8D2A1C0F11}");
inline constexpr GUID IID_ITestDriverEvents = MakeGUID("{5D0B7A33-2C4E-4F1A-9B67-3E8D2A1C0F11}");
inline constexpr const char* kProgId = "TolverTest.TestDriver";
inline constexpr const char* kName = "Test cash register";
inline constexpr std::int32_t kCashType = 77;

// The driver's own interface: the contract's method table under its own identifier,
// and two members that make the driver raise events on demand.
class ITestDriverAuto : public ICashDriverAuto {
public:
    static constexpr GUID IID = MakeGUID("{5D0B7A32-2C4E-4F1A-9B67-3E8D2A1C0F11}");
    using Base = ICashDriverAuto;
    static const InterfaceInfo& TypeInfo();

    virtual HRESULT RaiseCommandResult(std::int32_t CommandID, std::int32_t CommandResult) = 0;
    virtual HRESULT RaiseLog(const std::string& Text) = 0;

protected:
    ~ITestDriverAuto() = default;
};

// Type library "TestDriver", version 1.0: ITestDriverAuto, the contract's events and
// the class TestDriver.
const TypeLibInfo& TestDriverTypeLibrary();

}  // namespace tolver::fixture
