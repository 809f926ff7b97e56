#include <gtest/gtest.h>

#include "framework/app/StartupSettings.h"

namespace kvx::apps {
namespace {

class StartupSettingsTest : public ::testing::Test {
protected:
    void set(const char* key, const char* value) {
        mConfig.set(config::Store::Ordinary, key, value, config::kScopeStatic);
    }
    config::ConfigSystem mConfig;
    services::platform::Profiler mProfiler;
};

TEST_F(StartupSettingsTest, ProfilerTakesItsIntervalAndStartsOnEitherSwitch) {
    configureProfiler(mConfig, "KorvDestager", mProfiler);
    EXPECT_EQ(mProfiler.writeIntervalMs(), 1000u);
    EXPECT_FALSE(mProfiler.isRunning());

    set("profiling.writeIntervalMs", "250");
    set("profiling.KorvDestager.autoStart", "true");
    configureProfiler(mConfig, "KorvLauncher", mProfiler);
    EXPECT_EQ(mProfiler.writeIntervalMs(), 250u);
    EXPECT_FALSE(mProfiler.isRunning());  // the switch of another program
    configureProfiler(mConfig, "KorvDestager", mProfiler);
    EXPECT_TRUE(mProfiler.isRunning());
    EXPECT_EQ(mProfiler.sessionName(), "KorvDestager");

    mProfiler.stop();
    set("profiling.KorvDestager.autoStart", "false");
    set("profiling.autoStart", "1");
    configureProfiler(mConfig, "KorvDestager", mProfiler);
    EXPECT_TRUE(mProfiler.isRunning());
}

TEST_F(StartupSettingsTest, NetworkParametersNameTheClient) {
    EXPECT_EQ(networkStartParameters(mConfig), "-servicename= -noupnp");
    set("app.clientId", "KorvDesktop-x64");
    EXPECT_EQ(networkStartParameters(mConfig), "-servicename=KorvDesktop-x64 -noupnp");
}

TEST_F(StartupSettingsTest, LogLocationOverridesAndTheOpenFailureEvent) {
    auto location = logLocation(mConfig, "C:\\ProgramData\\Korv Desktop\\Logs", "KorvDestager");
    EXPECT_EQ(location.folder, "C:\\ProgramData\\Korv Desktop\\Logs");
    EXPECT_EQ(location.fileName, "KorvDestager");
    set("logging.directoryOverride", "D:\\logs");
    set("logging.fileNameOverride", "run7");
    location = logLocation(mConfig, "C:\\ProgramData\\Korv Desktop\\Logs", "KorvDestager");
    EXPECT_EQ(location.folder, "D:\\logs");
    EXPECT_EQ(location.fileName, "run7");

    const auto event = logOpenFailureEvent("Invalid log paths dir=[] filename=[x]");
    EXPECT_EQ(event.taxonomy(), "diags.logs.erro");
    EXPECT_EQ(event.params(), (nlohmann::json{{"emsg", "Invalid log paths dir=[] filename=[x]"}}));
}

}  // namespace
}  // namespace kvx::apps
