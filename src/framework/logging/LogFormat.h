#pragma once
// The text of the log files: line layout, timestamps, masking of personal data, file names and
// the size limits at which files rotate.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Logging.h"
#include "framework/logging/LogLine.h"

namespace kvx::services::logging {

inline constexpr uint64_t kMainLogSizeLimit = 0x400000;
inline constexpr uint64_t kVerboseLogSizeLimit = 0xC00000;
inline constexpr const char* kPersonaeMask = "####";

// "2026-03-01T17:05:09.042Z".
std::string formatUtcTimestamp(int64_t nanosecondsSinceEpoch);

// One line without its line feed; `message` is the (possibly masked) text to show.
std::string formatLogLine(uint32_t partNumber, const LogLine& line, uint32_t processId, std::string_view message);
// The same line from the tab after the part number on, which both files share.
std::string formatLogLineBody(const LogLine& line, uint32_t processId, std::string_view message);
// Appends the part number, `body` and a line feed.
void appendLogLine(std::string& out, uint32_t partNumber, std::string_view body);

// Every occurrence of each non-empty personae string becomes "####".
std::string maskPersonae(std::string message, const ILogger::PersonaeInfo& personae);

// A file rotates before the first line written once its size is beyond the limit.
inline bool needsRotation(uint64_t currentSize, uint64_t limit) { return currentSize > limit; }

// "x\\KorvDestager.log" and "x\\KorvDestagerVerbose.log".
std::string mainLogPath(std::string_view folder, std::string_view fileName);
std::string verboseLogPath(std::string_view folder, std::string_view fileName);
// The same name with "bak" in place of the "log" extension.
std::string backupPath(std::string_view logPath);

// Below the program-data folder for elevated or system processes, below local application data
// otherwise; the folders are the known-folder paths without a trailing separator.
std::string logsFolder(bool elevatedOrSystem, std::string_view programDataFolder, std::string_view localAppDataFolder);

}  // namespace kvx::services::logging
