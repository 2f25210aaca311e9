#include "common/variantstobuf.h"

#include <cstring>
#include <string>

#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

[[noreturn]] void InterfaceTag() { throw EInvalidCast("1"); }

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

    template <typename T>
    void put(T v) {
        std::uint8_t bytes[sizeof(T)];
        std::memcpy(bytes, &v, sizeof(T));  // the host is little-endian, as the format
        out_.insert(out_.end(), bytes, bytes + sizeof(T));
    }

    void value(const Variant& v, int depth) {
        const std::uint16_t vt = v.type();
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_BYREF) InterfaceTag();
        put<std::uint16_t>(vt);
        switch (vt) {
            case VT_EMPTY:
            case VT_NULL: break;
            case VT_I2:
            case VT_BOOL: put(static_cast<std::int16_t>(v.rawInt())); break;
            case VT_I4:
            case VT_ERROR: put(static_cast<std::int32_t>(v.rawInt())); break;
            case VT_R4: put(v.rawSingle()); break;
            case VT_R8:
            case VT_DATE: put(v.rawDouble()); break;
            case VT_CY: put<std::int64_t>(v.rawInt()); break;
            case VT_UI1: put(static_cast<std::uint8_t>(v.rawInt())); break;
            case VT_BSTR: {
                const std::u16string w = Utf8ToUtf16(v.rawString());
                for (const char16_t c : w) {
                    if (c == 0) break;
                    put<std::uint16_t>(c);
                }
                put<std::uint16_t>(0);
                break;
            }
            case VT_STRING: {
                const std::string a = Utf8ToCp1251(v.rawString());
                const std::size_t n = a.find('\0');
                const std::size_t len = n == std::string::npos ? a.size() : n;
                out_.insert(out_.end(), a.begin(), a.begin() + static_cast<std::ptrdiff_t>(len));
                out_.push_back(0);
                break;
            }
            case VT_ARRAY | VT_VARIANT: {
                if (depth >= kMaxVariantNesting) throw EBufferError("Variant arrays nested too deeply");
                const SafeArray& a = v.array();
                put<std::uint32_t>(static_cast<std::uint32_t>(a.dims()));
                for (std::size_t d = a.dims(); d-- > 0;) {
                    put<std::uint32_t>(a.bounds()[d].count);
                    put<std::int32_t>(a.bounds()[d].lbound);
                }
                // Stored order is the first index fastest, which is the order written.
                for (const Variant& e : a.elements()) value(e, depth + 1);
                break;
            }
            default: break;  // a type without payload: the tag alone
        }
    }

private:
    std::vector<std::uint8_t>& out_;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size, bool* sawAnsi) : p_(data), size_(size), sawAnsi_(sawAnsi) {}

    std::size_t pos() const { return pos_; }

    template <typename T>
    T get() {
        need(sizeof(T));
        T v;
        std::memcpy(&v, p_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    Variant value(int depth) {
        const std::uint16_t vt = get<std::uint16_t>();
        switch (vt) {
            case VT_EMPTY: return Variant();
            case VT_NULL: return Variant::Null();
            case VT_I2: return Variant(get<std::int16_t>());
            case VT_I4: return Variant(get<std::int32_t>());
            case VT_R4: return Variant(get<float>());
            case VT_R8: return Variant(get<double>());
            case VT_CY: return Variant(Currency::FromRaw(get<std::int64_t>()));
            case VT_DATE: return Variant::Date(get<double>());
            case VT_ERROR: return Variant::Error(get<std::int32_t>());
            case VT_BOOL: return Variant::BoolRaw(get<std::int16_t>());
            case VT_UI1: return Variant(get<std::uint8_t>());
            case VT_BSTR: {
                std::u16string w;
                for (;;) {
                    const auto c = get<std::uint16_t>();  // raises at the end of the buffer: unterminated
                    if (c == 0) break;
                    w += static_cast<char16_t>(c);
                }
                return Variant(Utf16ToUtf8(w));
            }
            case VT_STRING: {
                const void* end = std::memchr(p_ + pos_, 0, size_ - pos_ - pending_);
                if (!end) throw EBufferError("Unterminated 8-bit string in variant buffer");
                const std::size_t len = static_cast<const std::uint8_t*>(end) - (p_ + pos_);
                std::string text = Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(p_ + pos_), len));
                pos_ += len + 1;
                if (sawAnsi_) *sawAnsi_ = true;
                return Variant(std::move(text));
            }
            case VT_ARRAY | VT_VARIANT: return array(depth);
            case VT_DISPATCH:
            case VT_UNKNOWN:
            case VT_BYREF: InterfaceTag();
            default: {
                char msg[64];
                std::snprintf(msg, sizeof msg, "Unsupported variant type %04X in variant buffer", vt);
                throw EBufferError(msg);
            }
        }
    }

private:
    // The bytes promised to elements announced but not yet read are not available to
    // the current one.
    void need(std::size_t n) const {
        if (size_ - pos_ - pending_ < n) throw EBufferError("Variant buffer is truncated");
    }

    Variant array(int depth) {
        if (depth >= kMaxVariantNesting) throw EBufferError("Variant arrays nested too deeply");
        const auto dims = get<std::uint32_t>();
        if (dims == 0 || dims > SafeArray::kMaxDims) throw EBufferError("Invalid dimension count in variant buffer");
        need(static_cast<std::size_t>(dims) * 8);
        std::vector<SafeArrayBound> bounds(dims);
        for (std::size_t d = dims; d-- > 0;) {  // stored from the last dimension to the first
            bounds[d].count = get<std::uint32_t>();
            bounds[d].lbound = get<std::int32_t>();
        }
        // Every element takes at least its 2-byte tag: refuse counts that the bytes not
        // yet promised to announced elements cannot hold, before anything is allocated.
        // So the elements allocated in all stay below half the buffer size.
        const std::size_t room = (size_ - pos_ - pending_) / 2;
        std::size_t total = 1;
        for (const auto& b : bounds) total = b.count == 0 ? 0 : total;
        for (const auto& b : bounds) {
            if (total == 0) break;  // an empty dimension: no elements, whatever the others say
            if (b.count > room || total > room / b.count) throw EBufferError("Variant buffer is truncated");
            total *= b.count;
        }
        Variant result{SafeArray(std::move(bounds))};
        pending_ += total * 2;
        for (Variant& e : result.array().elements()) {
            pending_ -= 2;
            e = value(depth + 1);
        }
        return result;
    }

    const std::uint8_t* p_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t pending_ = 0;  // bytes that announced, undecoded elements need at least
    bool* sawAnsi_;
};

}  // namespace

std::size_t VariantToBuf(const Variant& value, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    try {
        Writer(out).value(value, 0);
    } catch (...) {
        out.resize(start);
        throw;
    }
    return out.size() - start;
}

std::vector<std::uint8_t> VariantToBuf(const Variant& value) {
    std::vector<std::uint8_t> out;
    VariantToBuf(value, out);
    return out;
}

std::size_t BufToVariant(Variant& value, const std::uint8_t* data, std::size_t size, bool* sawAnsi) {
    value.clear();
    if (sawAnsi) *sawAnsi = false;
    Reader r(data, size, sawAnsi);
    value = r.value(0);
    return r.pos();
}

}  // namespace tolver
