#pragma once
// Windows shell links (.lnk files), written and read through the shell's own link object. Needs
// COM on the calling thread.

#include <cstdint>
#include <optional>
#include <string>

namespace kvx::services::platform {

// Writes the link, or rewrites an existing one when its content differs. Empty `arguments` and
// `appUserModelId` are left unset. False (logged) when the link cannot be read or saved.
bool createShortcut(const std::string& shortcutPath, const std::string& targetPath,
                    const std::string& workingDirectory, int32_t iconIndex, const std::string& arguments,
                    const std::string& appUserModelId);

struct ShortcutContent {
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    std::string iconPath;
    int32_t iconIndex = 0;
    // Nothing when the link's property store cannot answer (Wine's accepts the id but keeps none).
    std::optional<std::string> appUserModelId;
};

// What a link says; nothing when it cannot be loaded.
std::optional<ShortcutContent> readShortcut(const std::string& shortcutPath);

}  // namespace kvx::services::platform
