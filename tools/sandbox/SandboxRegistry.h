#pragma once
// The registry side of a sandbox install: the application key's install location and the loop
// counters the destager keeps below it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kvx::sandbox {

inline constexpr const char* kLoopCheckSubKey = "DestagerLoopCheck";

std::wstring installLocation(bool view64);

// Removes the loop counters (both views) so that the next run counts from the start.
void clearLoopCheck();

struct LoopCheckValues {
    bool present = false;
    std::string targetVersion;
    std::string date;
    uint32_t updateNumber = 0;
    uint32_t sameResults = 0;
    uint32_t successful = 0;
};
LoopCheckValues readLoopCheck();
// Writes the counters (64-bit view), as earlier runs would have left them.
bool writeLoopCheck(const LoopCheckValues& values);

// "IsUnavailable" of the 64-bit view (or the 32-bit one): 1 while the suite is marked unavailable;
// -1 when absent.
int64_t isUnavailableFlag(bool view64 = true);
// Writes it in both views.
bool setUnavailableFlag(uint32_t value);

// The way back a destager stopped in the middle of a swap leaves for the next start of Windows (its
// RunOnce command), if any; removing it is what the next start does after running it.
std::optional<std::string> resumeEntry();
void removeResumeEntry();

// Deletes the whole application key in both views.
void removeAppKey();

}  // namespace kvx::sandbox
