#pragma once
// The well-known directories the special-path service resolves, and their configuration names.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::foundation {

enum class SpecialDirectory : uint32_t {
    none = 0,
    temp = 1,
    OperatingSystem = 2,
    OperatingSystemTrash = 3,
    OperatingSystemFonts = 4,
    currentApplication = 5,
    userDesktop = 6,
    commonDesktop = 7,
    userApplicationData = 8,
    commonApplicationData = 9,
    userDocuments = 10,
    commonDocuments = 11,
    userMusic = 12,
    commonMusic = 13,
    userProgramsShortcuts = 14,
    commonProgramsShortcuts = 15,
    userPictures = 16,
    userMovies = 17,
    devScratch = 18,
    downloadData = 19,
    programFiles = 20,
    programFilesCommon = 21,
    programData = 22,
    profile = 23,
    localAppData = 24,
    localLowAppData = 25,
    roamingAppData = 26,
    savedGames = 27,
    documents = 28,
};

inline constexpr uint32_t kSpecialDirectoryCount = 29;
inline constexpr std::string_view kSpecialDirectoryKeyPrefix = "qa.specialDirectory.";

// Values 20 to 28 are Windows known folders; the rest use the older special-folder query.
inline bool isKnownFolder(SpecialDirectory directory) {
    const auto value = static_cast<uint32_t>(directory);
    return value >= 20 && value <= 28;
}

// The configuration name ("programData"); empty for programFilesCommon, which has none.
std::string_view specialDirectoryName(SpecialDirectory directory);
// "qa.specialDirectory." and the name; nothing for a directory without a name.
std::optional<std::string> specialDirectoryConfigKey(SpecialDirectory directory);

}  // namespace kvx::foundation
