#pragma once
// Lists the entries of a zip archive from its central directory; file data is never read.

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/Result.h"
#include "foundation/archive/ZipTypes.h"

namespace kvx::archive {

// Reads the tail (at least 76 bytes) and, when the directory starts before it, the directory and
// the tail again in one range.
Result<ZipCentralDirectoryBuffer, ZipCentralDirectoryError> getCentralDirectoryBuffer(
    const RangeReadFunction& readRange, const ZipArchiveDescription& archive);

// Decodes the headers of the directory that starts at `directoryStart` inside `bytes`, stepping
// over a few stray bytes between headers. The entries' names point into `bytes`.
Result<std::vector<ZipFileInfo>, ZipCentralDirectoryError> parseCentralDirectory(
    std::span<const uint8_t> bytes, const EndOfCentralDir& endRecord, uint64_t directoryStart);

// Decodes the header at `cursor` (its 46 fixed bytes must be in `bytes`) and moves the cursor past
// it and its name, extra field and comment, which point into `bytes`.
ZipFileInfo extractZipFileInfo(std::span<const uint8_t> bytes, uint64_t& cursor);

// The three steps above in order; the listing keeps the directory bytes its names point into.
Result<ZipListing, ZipCentralDirectoryError> listZipEntries(const RangeReadFunction& readRange,
                                                            const ZipArchiveDescription& archive);

}  // namespace kvx::archive
