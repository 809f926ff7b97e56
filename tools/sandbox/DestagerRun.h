#pragma once
// Runs the staged destager the way the client does: no arguments, from the staged client folder,
// and waits for it.

#include <cstdint>
#include <filesystem>
#include <string>

#include "foundation/Result.h"

namespace kvx::sandbox {

struct DestagerOutcome {
    int32_t exitCode = 0;
    uint64_t wallMs = 0;
};

// Runs `exe` from its own folder. An error when it cannot be started or runs longer than
// `timeoutMs` (it is ended then).
Result<DestagerOutcome, std::string> runDestager(const std::filesystem::path& exe, const std::wstring& arguments = L"",
                                                 uint32_t timeoutMs = 120000);

}  // namespace kvx::sandbox
