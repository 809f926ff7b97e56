#include <windows.h>

#include <span>

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/config/ConfigSystem.h"
#include "framework/errors/CrashReport.h"
#include "framework/errors/ExceptionSystem.h"

namespace kvx::foundation {
namespace {

std::string configuredEnvironment() {
    const auto* config = utils::Singleton<config::ConfigSystem>::tryGet();
    return config != nullptr ? config->getString("app.environment", "") : std::string();
}

// Unique per process and moment, so two crashing processes never share a report file.
fs::Path reportFileName() {
    return fs::Path::fromUtf8(
        safeFormat("KorvCrashReport-{}-{}.json", GetCurrentProcessId(), clock().now100nsSinceEpoch()));
}

}  // namespace

ExceptionHandlerClient::ExceptionHandlerClient(std::string executablePath)
    : mExecutablePath(std::move(executablePath)) {}

void ExceptionHandlerClient::setLogFilePaths(std::string mainLog, std::string verboseLog) {
    mMainLog = std::move(mainLog);
    mVerboseLog = std::move(verboseLog);
}

std::string ExceptionHandlerClient::onNotification(uint32_t id, const CrashInfo& crash) {
    if (id != kCrashNotification) {
        KVX_LOG_WARN("Unhandled notification: id[{}]", id);
        return {};
    }
    KVX_LOG_FATAL("Whoops!\n\n\t************  CRASH DETECTED  ************\n");
    KVX_LOG_FATAL("Gathering information about the crash - this may take some time...");
    const std::string identifier = crashIdentifier(crash);
    const std::string content = serializeCrashReport(
        crash, identifier, {mExecutablePath, configuredEnvironment(), mMainLog, mVerboseLog});
    KVX_LOG_FATAL("... crash information gathered - generating report...");
    KVX_LOG_FATAL("Crash Identifier [{}]", identifier);
    std::string path = writeReport(content);
    KVX_LOG_FATAL("... report generation complete");
    return path;
}

std::string ExceptionHandlerClient::writeReport(const std::string& content) {
    auto folder = fs::filesystem().tempDirectory();
    if (folder.isError()) {
        KVX_LOG_ERROR("No temporary folder for the crash report: osError[{}]", folder.peekError());
        return {};
    }
    const fs::Path path = folder.unwrap() / reportFileName();
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size());
    auto written = file::writeFile(path, bytes);
    if (written.isError()) {
        KVX_LOG_ERROR("Could not write the crash report: path[{}] osError[{}]", path.utf8(),
                      written.peekError().error);
        return {};
    }
    KVX_LOG_INFO("Serialized data to a temp file [{}] to pass to crash reporter.", path.utf8());
    return path.utf8();
}

}  // namespace kvx::foundation
