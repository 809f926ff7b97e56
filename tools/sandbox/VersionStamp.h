#pragma once
// Gives a copied suite program a version resource, so that the old and the new client differ the
// way real builds do: by the file version the destager reads from "KorvDesktop.exe".

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "foundation/Result.h"

namespace kvx::sandbox {

using FileVersion = std::array<uint16_t, 4>;

// "13.696.0.6209"; nothing unless four numbers below 65536 separated by dots.
std::optional<FileVersion> parseFileVersion(const std::string& text);
std::string fileVersionText(const FileVersion& version);

// Replaces the executable's version resource with one holding `version` as file and product version.
Result<void, std::string> stampFileVersion(const std::filesystem::path& exe, const FileVersion& version);

}  // namespace kvx::sandbox
