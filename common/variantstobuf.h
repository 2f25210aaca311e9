#pragma once
// The flat tagged-byte form of one variant, nested arrays of variants included: the
// storage form of the drivers' settings blobs. A 2-byte little-endian tag (the
// variant's type code) is followed by its payload; arrays carry their dimension
// count, their bound pairs from the last dimension to the first, and then their
// elements with the first index varying fastest.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/variant/variant.h"

namespace tolver {

// Deepest nesting of arrays that is written or read.
inline constexpr int kMaxVariantNesting = 256;

// Appends the encoding of value to out and returns the number of bytes appended.
// An interface variant raises EInvalidCast("1").
std::size_t VariantToBuf(const Variant& value, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> VariantToBuf(const Variant& value);

// Decodes one value from the first `size` bytes of data and returns the number of
// bytes consumed. Every read is checked against `size`: a truncated or corrupt
// buffer raises EBufferError, the interface tags 0x0009, 0x000D and 0x4000 raise
// EInvalidCast("1"); `value` is then Empty. An 8-bit string comes back as a wide
// string; `sawAnsi`, when given, tells whether one was read.
std::size_t BufToVariant(Variant& value, const std::uint8_t* data, std::size_t size, bool* sawAnsi = nullptr);
inline std::size_t BufToVariant(Variant& value, std::span<const std::uint8_t> data) {
    return BufToVariant(value, data.data(), data.size());
}

}  // namespace tolver
