#include "integration/AppInfo.h"

#include <windows.h>

#include <string>

#include <fmt/format.h>

#include "foundation/Logging.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/config/ConfigSystem.h"
#include "framework/config/StaticConfiguration.h"
#include "kvx/BuildVersion.h"

namespace kvx::apps::utils {
namespace {

std::string startupEnvironment() {
    const auto* config = foundation::utils::Singleton<config::ConfigSystem>::tryGet();
    std::string environment = config != nullptr ? config->getString("app.environment", "production") : "";
    return environment.empty() ? "production" : environment;
}

std::string joinedArguments(const char* const* argv, int argc) {
    std::string joined;
    for (int i = 0; argv != nullptr && i < argc; ++i) {
        if (i > 0) {
            joined += ' ';
        }
        joined += argv[i] != nullptr ? argv[i] : "";
    }
    return joined;
}

// The long, link-free path of the running program; the plain path when that cannot be had.
std::string canonicalExecutablePath() {
    auto executable = fs::filesystem().executablePath();
    if (executable.isError()) {
        return "";
    }
    auto canonical = fs::filesystem().canonical(executable.peek());
    return canonical.isOk() ? canonical.peek().utf8() : executable.peek().utf8();
}

}  // namespace

void logAppInfo(const char* const* argv, int argc, std::string_view appName) {
    KVX_LOG_INFO("[STARTUP] app[{}], configurable[{}], buildType[{}], env[{}], processId[{}]", appName,
                 processConfigurable().value() ? "true" : "false", kBuildType, startupEnvironment(),
                 GetCurrentProcessId());
    KVX_LOG_INFO("Version: {}", kBuildVersion);
    KVX_LOG_INFO("Command line: [{}]", joinedArguments(argv, argc));
    KVX_LOG_INFO("Canonical path: [{}]", canonicalExecutablePath());
}

}  // namespace kvx::apps::utils
