#pragma once
// Little-endian field reads; the caller has checked that the bytes are there.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace kvx::archive::detail {

template <typename T>
T readLittleEndian(std::span<const uint8_t> bytes, size_t offset) {
    T value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // One load instead of a byte loop: a directory of 100,000 headers is a dozen fields each.
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    } else {
        for (size_t i = 0; i < sizeof(T); ++i) {
            value |= static_cast<T>(static_cast<T>(bytes[offset + i]) << (8 * i));
        }
    }
    return value;
}

inline uint16_t read16(std::span<const uint8_t> bytes, size_t offset) {
    return readLittleEndian<uint16_t>(bytes, offset);
}
inline uint32_t read32(std::span<const uint8_t> bytes, size_t offset) {
    return readLittleEndian<uint32_t>(bytes, offset);
}
inline uint64_t read64(std::span<const uint8_t> bytes, size_t offset) {
    return readLittleEndian<uint64_t>(bytes, offset);
}

// True when four bytes fit at `offset` and hold `signature`.
inline bool hasSignature(std::span<const uint8_t> bytes, size_t offset, uint32_t signature) {
    return offset <= bytes.size() && bytes.size() - offset >= 4 && read32(bytes, offset) == signature;
}

}  // namespace kvx::archive::detail
