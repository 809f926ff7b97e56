#pragma once
// Writes a zip archive of stored (uncompressed) entries with their real CRC-32 values: the kind
// of archive the client downloads, as far as the destager's validation reads it.

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/Result.h"

namespace kvx::sandbox {

struct ZipSource {
    std::string entryName;          // "/"-separated; a trailing "/" makes a directory entry
    std::filesystem::path file;     // the content; unused for directories
};

// Every file of `folder`, below it and sorted, named "<prefix>/<relative path>"; directories too.
std::vector<ZipSource> zipSourcesOf(const std::filesystem::path& folder, const std::string& prefix);

Result<void, std::string> writeStoredZip(const std::filesystem::path& zipPath, const std::vector<ZipSource>& entries);

}  // namespace kvx::sandbox
