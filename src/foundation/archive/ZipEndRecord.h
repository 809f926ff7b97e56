#pragma once
// Locates the end-of-central-directory record (classic or ZIP64) in the tail of an archive.

#include <cstdint>
#include <span>

#include "foundation/Result.h"
#include "foundation/archive/ZipTypes.h"

namespace kvx::archive {

Result<EndOfCentralDir, ZipCentralDirectoryError> findEndOfCentralDir(std::span<const uint8_t> tail);

}  // namespace kvx::archive
