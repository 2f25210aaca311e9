#pragma once
// The base of reference-counted interfaces. Interfaces are abstract classes whose
// virtual functions are declared in their designed slot order; each one names its
// identifier (IID) and the interface it derives from (Base), which is what
// QueryInterface walks.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace tolver {

using HRESULT = std::int32_t;

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
    friend bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};
static_assert(sizeof(GUID) == 16);

namespace detail {

constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Parses the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of
// either case); false on anything else.
constexpr bool ParseGUID(std::string_view s, GUID& g) {
    if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
    std::uint8_t bytes[16] = {};
    std::size_t pos = 1;
    int n = 0;
    while (pos < 37) {
        if (pos == 9 || pos == 14 || pos == 19 || pos == 24) {
            if (s[pos] != '-') return false;
            ++pos;
            continue;
        }
        const int hi = HexDigit(s[pos]), lo = HexDigit(s[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        pos += 2;
    }
    g.Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
              static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    g.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    return true;
}

}  // namespace detail

// An identifier written in registry form, checked when the program is compiled:
// inline constexpr GUID CLSID_X = MakeGUID("{849C7025-B964-11D4-8407-00104B205A89}");
consteval GUID MakeGUID(std::string_view text) {
    GUID g;
    if (!detail::ParseGUID(text, g)) throw "malformed GUID text";
    return g;
}

inline constexpr GUID GUID_NULL{};

// Registry form: braces, upper-case hexadecimal, groups 8-4-4-4-12.
std::string GUIDToString(const GUID& g);
// Parses the registry form (either case); false, leaving g alone, on anything else.
bool TryStringToGUID(std::string_view text, GUID& g);

// Slots 0 to 2 of every interface.
class IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{00000000-0000-0000-C000-000000000046}");

    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

}  // namespace tolver

template <>
struct std::hash<tolver::GUID> {
    std::size_t operator()(const tolver::GUID& g) const noexcept {
        std::uint64_t a, b;
        std::memcpy(&a, &g, 8);
        std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
        return std::hash<std::uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};
