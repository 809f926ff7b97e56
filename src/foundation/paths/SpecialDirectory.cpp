#include "foundation/paths/SpecialDirectory.h"

#include <array>

namespace kvx::foundation {

namespace {
constexpr std::array<std::string_view, kSpecialDirectoryCount> kNames{
    "none",          "temp",          "OperatingSystem",       "OperatingSystemTrash",
    "OperatingSystemFonts", "currentApplication", "userDesktop", "commonDesktop",
    "userApplicationData", "commonApplicationData", "userDocuments", "commonDocuments",
    "userMusic",     "commonMusic",   "userProgramsShortcuts", "commonProgramsShortcuts",
    "userPictures",  "userMovies",    "devScratch",            "downloadData",
    "programFiles",  "",              "programData",           "profile",
    "localAppData",  "localLowAppData", "roamingAppData",      "savedGames",
    "documents",
};
}  // namespace

std::string_view specialDirectoryName(SpecialDirectory directory) {
    const auto value = static_cast<uint32_t>(directory);
    return value < kNames.size() ? kNames[value] : std::string_view{};
}

std::optional<std::string> specialDirectoryConfigKey(SpecialDirectory directory) {
    const std::string_view name = specialDirectoryName(directory);
    if (name.empty()) {
        return std::nullopt;
    }
    return std::string(kSpecialDirectoryKeyPrefix) + std::string(name);
}

}  // namespace kvx::foundation
