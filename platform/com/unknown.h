#pragma once
// The base of reference-counted interfaces. Interfaces are abstract classes whose
// virtual functions are declared in their designed slot order.

#include <cstdint>
#include <cstring>

namespace tolver {

using HRESULT = std::int32_t;

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend bool operator==(const GUID& a, const GUID& b) {
        return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
               std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
    }
};

// Slots 0 to 2 of every interface.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

}  // namespace tolver
