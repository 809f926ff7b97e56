#pragma once
// The CRC-32 of the zip format (zlib's crc32), continued from `crc` over `size` bytes.

#include <cstddef>
#include <cstdint>

namespace kvx::archive {

// Carry-less multiplication where the processor has it (every x64 one since 2010), zlib's otherwise.
uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace kvx::archive
