#pragma once
// Words for the destage result the destager leaves in "machine.destageResult".

#include <cstdint>

namespace kvx::sandbox {

// "update applied", "staged client folder missing", ...; "unknown result code" otherwise.
const char* destageResultMeaning(int32_t code);

// "started and finished", "another destager was running", ...
const char* exitCodeMeaning(int32_t exitCode);

}  // namespace kvx::sandbox
