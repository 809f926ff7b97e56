#pragma once
// The resource container: the built-in files (configuration, certificates) that ship beside the
// executable as "<app>.rcc.enc". tools/pack_rcc.py writes it at build time; this reads it.
//
// Enciphered file, version 1 (all integers little endian):
//   0   4  magic "KVXE"
//   4   2  cipher version (1)
//   6   2  reserved, 0
//   8   4  seed
//   12  ..  the plain container, each byte XORed with the key stream of the seed
// Key stream: xorshift32 (shifts 13, 17, 5) started at seed ^ 0x4B56584B (0x9E3779B9 if that is 0);
// each byte takes the low 8 bits of the next state. It keeps the files from casual editing; it is
// not a protection against a determined reader (the certificates it carries are public anyway).
//
// Plain container, version 1:
//   0   4  magic "KVXR"
//   4   2  container version (1)
//   6   2  reserved, 0
//   8   4  entry count
//   12  entries, each: u16 path length, path (UTF-8, "/"-separated, relative, e.g.
//       "config/tamrin.cfg"), u32 data length, data
//   end-4  4  CRC-32 (zlib polynomial) of every byte before it
// A path has no empty, "." or ".." segment, appears once, and is never also a folder of another
// path. Any violation, a short or overlong file, or a CRC mismatch rejects the whole container.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "foundation/Result.h"

namespace kvx::resources {

inline constexpr uint16_t kRccCipherVersion = 1;
inline constexpr uint16_t kRccContainerVersion = 1;

struct RccEntry {
    std::string path;  // relative, without the ":/" of a lookup
    std::string data;
};

// Plain container -> its entries, or an error text naming what is wrong.
Result<std::vector<RccEntry>, std::string> parseRcc(std::span<const uint8_t> container);
// Enciphered file -> plain container.
Result<std::vector<uint8_t>, std::string> decipherRcc(std::span<const uint8_t> file);

// The writing side, for tests and diagnostics; tools/pack_rcc.py produces the same bytes.
std::vector<uint8_t> buildRcc(const std::vector<RccEntry>& entries);
std::vector<uint8_t> encipherRcc(std::span<const uint8_t> container, uint32_t seed);

}  // namespace kvx::resources
