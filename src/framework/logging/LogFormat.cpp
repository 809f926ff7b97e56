#include "framework/logging/LogFormat.h"

#include <iterator>

#include <fmt/format.h>

namespace kvx::services::logging {
namespace {

struct CivilDate {
    int64_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// Proleptic Gregorian date of a day count since 1970-01-01 (H. Hinnant's days-to-civil).
CivilDate civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

std::string joinFile(std::string_view folder, std::string_view name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') {
        return fmt::format("{}{}", folder, name);
    }
    return fmt::format("{}\\{}", folder, name);
}

}  // namespace

std::string formatUtcTimestamp(int64_t nanosecondsSinceEpoch) {
    constexpr int64_t kNsPerMs = 1'000'000;
    constexpr int64_t kMsPerDay = 86'400'000;
    const int64_t totalMs = floorDiv(nanosecondsSinceEpoch, kNsPerMs);
    const int64_t days = floorDiv(totalMs, kMsPerDay);
    const int64_t msOfDay = totalMs - days * kMsPerDay;
    const CivilDate date = civilFromDays(days);
    return fmt::format("{}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}{}", date.year, date.month, date.day,
                       msOfDay / 3'600'000, msOfDay / 60'000 % 60, msOfDay / 1000 % 60, msOfDay % 1000, "Z");
}

std::string formatLogLine(uint32_t partNumber, const LogLine& line, uint32_t processId, std::string_view message) {
    return fmt::format("{:>6}{}", partNumber, formatLogLineBody(line, processId, message));
}

std::string formatLogLineBody(const LogLine& line, uint32_t processId, std::string_view message) {
    return fmt::format("\t[{}]\tPID:{:>6}\tTID:{:>6}\t{:<8}\t({})\t{}", formatUtcTimestamp(line.timestamp), processId,
                       line.threadId, levelName(line.level), reduceFunctionName(line.function), message);
}

void appendLogLine(std::string& out, uint32_t partNumber, std::string_view body) {
    fmt::format_to(std::back_inserter(out), "{:>6}", partNumber);
    out.append(body);
    out.push_back('\n');
}

std::string maskPersonae(std::string message, const ILogger::PersonaeInfo& personae) {
    static constexpr std::string_view kMask = kPersonaeMask;
    for (const std::string* secret : {&personae.first, &personae.second}) {
        if (secret->empty()) {
            continue;
        }
        for (size_t at = message.find(*secret); at != std::string::npos; at = message.find(*secret, at + kMask.size())) {
            message.replace(at, secret->size(), kMask);
        }
    }
    return message;
}

std::string mainLogPath(std::string_view folder, std::string_view fileName) {
    return joinFile(folder, fmt::format("{}.log", fileName));
}

std::string verboseLogPath(std::string_view folder, std::string_view fileName) {
    return joinFile(folder, fmt::format("{}Verbose.log", fileName));
}

std::string backupPath(std::string_view logPath) {
    static constexpr std::string_view kExtension = ".log";
    if (logPath.size() >= kExtension.size() && logPath.substr(logPath.size() - kExtension.size()) == kExtension) {
        logPath.remove_suffix(kExtension.size());
    }
    return fmt::format("{}.bak", logPath);
}

std::string logsFolder(bool elevatedOrSystem, std::string_view programDataFolder, std::string_view localAppDataFolder) {
    if (elevatedOrSystem) {
        return joinFile(programDataFolder, "Korv Desktop\\Logs");
    }
    return joinFile(localAppDataFolder, "Tessory\\Korv Desktop\\Logs");
}

}  // namespace kvx::services::logging
