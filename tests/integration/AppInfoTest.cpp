#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/TextConversion.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppInfo.h"
#include "kvx/BuildVersion.h"
#include "support/Capture.h"

namespace kvx::apps::utils {
namespace {

std::string modulePath() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return foundation::narrow(std::wstring_view(buffer, length), KVX_SOURCE_LOCATION);
}

TEST(AppInfo, FourStartupLinesInOrder) {
    auto& config = foundation::utils::Singleton<config::ConfigSystem>::create();
    config.set(config::Store::Ordinary, "app.environment", "integration", config::kScopeStatic);
    test::ScopedCapturingLogger logger;
    const char* argv[] = {"KorvDestager.exe", "--action=repair", "-noclient"};
    logAppInfo(argv, 3, "KorvDestager");

    const auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].message, fmt::format("[STARTUP] app[KorvDestager], configurable[false], buildType[opt], "
                                            "env[integration], processId[{}]",
                                            GetCurrentProcessId()));
    EXPECT_EQ(lines[1].message, std::string("Version: ") + kBuildVersion);
    EXPECT_EQ(lines[2].message, "Command line: [KorvDestager.exe --action=repair -noclient]");
    EXPECT_EQ(lines[3].message, "Canonical path: [" + modulePath() + "]");
    for (const auto& line : lines) {
        EXPECT_EQ(line.level, services::logging::Info);
        EXPECT_EQ(line.function, "kvx::apps::utils::logAppInfo");
    }

    // An empty environment is production, as is a process without configuration.
    logger->clear();
    config.set(config::Store::Ordinary, "app.environment", "", config::kScopeStatic);
    logAppInfo(argv, 1, "KorvDestager");
    foundation::utils::Singleton<config::ConfigSystem>::destroy();
    logAppInfo(nullptr, 0, "KorvDestager");
    const auto again = logger->linesContaining("[STARTUP]");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_NE(again[0].message.find("env[production]"), std::string::npos);
    EXPECT_NE(again[1].message.find("env[production]"), std::string::npos);
    EXPECT_EQ(logger->linesContaining("Command line: ")[0].message, "Command line: [KorvDestager.exe]");
    EXPECT_EQ(logger->linesContaining("Command line: ")[1].message, "Command line: []");
}

}  // namespace
}  // namespace kvx::apps::utils
