// Third party availability and the protocol repair against the test prefix's real registry (both
// views of HKLM and HKCR). The users' shells are played by a simulated program named
// "Explorer.exe", since a Wine prefix without a desktop may run none.
#include "integration/ThirdPartyAvailability.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "foundation/registry/RegistryTestSupport.h"
#include "framework/config/ConfigSystem.h"
#include "framework/telemetry/TelemetryEvent.h"
#include "integration/AppKey.h"
#include "integration/GameCatalogExtension.h"
#include "integration/GameCatalogRegistration.h"
#include "integration/ProtocolHandlers.h"
#include "integration/RegistrationTexts.h"
#include "process/ProcessTestSupport.h"
#include "process/ProcessUtils.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using foundation::RegistryKey;
using namespace std::chrono_literals;

constexpr const char* kAppValues[] = {"IsUnavailable",        "ClientPath",
                                      "LauncherAppPath",      "InstallLocation",
                                      "KorvConnectMsAppPath", "KorvConnectLink2KorvAppPath"};
constexpr const char* kClassKeys[] = {
    "korvconnect.microsoft", "link2korv", "steam2korv", "epic2korv", "luna2korv", "pellam", "pellam2"};

RegistryKey classes(std::string_view path, bool create = false) {
    return RegistryKey(HKEY_CLASSES_ROOT, path, true, create);
}
std::string command(const char* protocol) {
    return classes(protocolCommandKey(protocol)).get<std::string>("");
}
uint32_t flag(bool view64) {
    return openAppKey(false, view64).get<uint32_t>("IsUnavailable");
}
uint32_t machineState() {
    return RegistryKey(HKEY_LOCAL_MACHINE, services::comInstall::kStateKeyPath, true, false)
        .get<uint32_t>("State");
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        clean();
        if (!shellRuns()) {
            const auto shell = mTemp.path().std() / L"Explorer.exe";
            test::copySimProgram(shell);
            mShell.emplace(test::startChild(shell));
        }
    }
    void TearDown() override { clean(); }
    static bool shellRuns() {
        bool found = false;
        (void)services::process::walkProcesses([&](const services::process::ProcessEntry& entry) {
            found = found || CompareStringOrdinal(entry.exeName, -1, L"Explorer.exe", -1, TRUE) == CSTR_EQUAL;
            return !found;
        });
        return found;
    }
    static void clean() {
        for (const bool view64 : {true, false}) {
            for (const char* name : kAppValues) {
                openAppKey(true, view64).deleteValue(name);
            }
            RegistryKey(HKEY_LOCAL_MACHINE, "Software", view64, true).deleteTree("Pellam");
            RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Tessory", view64, true).deleteTree("KorvDM");
        }
        for (const char* key : kClassKeys) {
            RegistryKey(HKEY_CLASSES_ROOT, "", true, false).deleteTree(key);
        }
    }
    // An install whose client folder holds the two protocol programs.
    std::string makeInstall() {
        const auto client = mTemp.path().std() / L"Program Files" / L"Korv Desktop";
        std::filesystem::create_directories(client);
        for (const wchar_t* exe : {L"Link2Korv.exe", L"KorvConnect_microsoft.exe"}) {
            std::ofstream(client / exe) << "exe";
        }
        const std::string location = fs::Path(mTemp.path().std() / L"Program Files").utf8();
        openAppKey(true, true).set("InstallLocation", std::string_view(location));
        return (fs::Path::fromUtf8(location) / L"Korv Desktop").utf8();
    }

    test::ScopedConfig mConfig;
    test::TempFolder mTemp;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    std::optional<test::Child> mShell;
};

TEST_F(Registration, AvailabilityFlagsProtocolsAndExtensionState) {
    const struct {
        const char* name;
        bool available;
        std::optional<uint32_t> previous;
        bool graceWait;
        bool protocolsBlank;
        uint32_t state;
    } rows[] = {
        {"entering", false, std::nullopt, true, true, 2},
        {"entering again", false, 1u, false, true, 2},
        {"leaving", true, 1u, false, false, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clean();
        if (row.previous) {
            openAppKey(true, true).set("IsUnavailable", *row.previous);
        }
        systemUtils::registerProtocol("link2korv", "URL:Link2Korv Protocol", "\"x\" \"%1\"");
        const size_t sleepsBefore = mClock->sleeps().size();

        EXPECT_TRUE(setThirdPartyAvailability(row.available));

        for (const bool view64 : {true, false}) {
            EXPECT_EQ(flag(view64), row.available ? 0u : 1u);
        }
        const auto sleeps = mClock->sleeps();
        EXPECT_EQ(std::count(sleeps.begin() + sleepsBefore, sleeps.end(), 2000ms), row.graceWait ? 1 : 0);
        for (const ProtocolRow& protocol : protocolTable()) {
            const bool exists = classes(protocolCommandKey(protocol.protocol)).valueExists("");
            EXPECT_EQ(exists && command(protocol.protocol).empty(), row.protocolsBlank) << protocol.protocol;
        }
        EXPECT_EQ(machineState(), row.state);
    }
    // Enabling registered the connector beside the running program as the extension's local server.
    const std::string clsid = fmt::format("{}\\{{{}}}", services::comInstall::kClassesClsidPath,
                                          services::comInstall::kExtensionClsid);
    EXPECT_TRUE(RegistryKey(HKEY_LOCAL_MACHINE, clsid + "\\LocalServer32", true, false)
                    .get<std::string>("")
                    .ends_with("\\KorvConnect_microsoft.exe \"korvconnect.microsoft://\""));
    const std::string record = fmt::format("{}\\{}", services::comInstall::kRegistrationsPath,
                                           services::comInstall::kStoreProductId);
    EXPECT_EQ(RegistryKey(HKEY_LOCAL_MACHINE, record, true, false).get<uint32_t>("Loadable"), 1u);
    EXPECT_EQ(mLogger->linesContaining("Set COM installation state to: Installed").size(), 1u);
}

TEST_F(Registration, SkipSwitchAndRefusedFlagWrite) {
    config::configSystem().setBool(config::Store::Ordinary, "machine.qa.skipThirdPartyKeys", true,
                                   config::kScopeMachine);
    EXPECT_TRUE(setThirdPartyAvailability(false));
    EXPECT_FALSE(openAppKey(false, true).valueExists("IsUnavailable"));
    config::configSystem().setBool(config::Store::Ordinary, "machine.qa.skipThirdPartyKeys", false,
                                   config::kScopeMachine);

    test::ScriptedRegistryProxy proxy;
    proxy.refuseValue = [](LPCWSTR name) {
        return name != nullptr && std::wstring_view(name) == L"IsUnavailable" ? ERROR_ACCESS_DENIED
                                                                              : ERROR_SUCCESS;
    };
    const test::ScopedRegistryProxy scoped(proxy);
    EXPECT_FALSE(setThirdPartyAvailability(false));
    EXPECT_EQ(
        mLogger
            ->linesContaining("Failed to update one or more registry keys while entering repair mode, may "
                              "cause issues with client updates or app recovery")
            .size(),
        1u);
    EXPECT_EQ(command("luna2korv"), "") << "the protocols are still blanked";
}

struct RecordingSink final : foundation::ITelemetrySink {
    std::vector<std::string> taxonomies;
    void record(const foundation::TelemetryEvent& event) override { taxonomies.push_back(event.taxonomy()); }
};

TEST_F(Registration, RefusedExtensionStateFailsTheChangeWithItsTelemetry) {
    test::ScriptedRegistryProxy proxy;
    proxy.refuseValue = [](LPCWSTR name) {
        return name != nullptr && std::wstring_view(name) == L"State" ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    };
    const auto sink = std::make_shared<RecordingSink>();
    const auto previousSink = foundation::setTelemetrySink(sink);
    {
        const test::ScopedRegistryProxy scoped(proxy);
        EXPECT_FALSE(disableComServer());
    }
    foundation::setTelemetrySink(previousSink);
    EXPECT_EQ(sink->taxonomies, std::vector<std::string>{"com.disable.error"});
    const auto lines = mLogger->linesContaining(
        "Failed to set local machine extension installation state set to: Updating");
    ASSERT_EQ(lines.size(), 2u) << "reported where it failed and where the change was asked for";
    EXPECT_EQ(lines[0].function, "kvx::services::comInstall::logErrorResult");
    EXPECT_EQ(lines[1].function, "kvx::apps::suite::disableComServer");
}

// After a failed update the blanked commands point into the client folder again, found from the
// install location when the app key lost the path.
TEST_F(Registration, ProtocolRepairRestoresCommandsAndLegacyKeys) {
    const std::string client = makeInstall();
    const std::string launcher = client + "\\KorvLauncher.exe";  // blanks, never quoted in legacy commands
    openAppKey(true, false).set("ClientPath", std::string_view(client + "\\KorvDesktop.exe"));
    openAppKey(true, false).set("LauncherAppPath", std::string_view(launcher));
    setThirdPartyAvailabilityRegistryKeys(false);

    EXPECT_TRUE(systemUtils::overwriteProtocolAndSdkPaths());

    const std::string link = client + "\\Link2Korv.exe";
    EXPECT_EQ(openAppKey(false, true).get<std::string>("KorvConnectLink2KorvAppPath"), link);
    for (const char* protocol : {"link2korv", "steam2korv", "epic2korv", "luna2korv"}) {
        EXPECT_EQ(command(protocol),
                  "\"" + link + "\" \"%1\" \"%2\" \"%3\" \"%4\" \"%5\" \"%6\" \"%7\" \"%8\" \"%9\"")
            << protocol;
    }
    EXPECT_EQ(command("korvconnect.microsoft"), "\"" + client + "\\KorvConnect_microsoft.exe\" \"%1\"");
    EXPECT_EQ(classes("steam2korv").get<std::string>(""), "URL:Steam2Korv Protocol");
    EXPECT_EQ(classes("pellam2\\shell\\open\\command").get<std::string>(""), launcher + " \"%1\"");
    EXPECT_EQ(RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Tessory\\KorvDM", false, false)
                  .get<std::string>("ClientPath"),
              client + "\\KorvDesktop.exe");

    // Everything right: nothing rewritten but a protocol key that lost its "URL Protocol" value.
    classes("epic2korv", true).deleteValue("URL Protocol");
    mLogger->clear();
    EXPECT_TRUE(systemUtils::overwriteProtocolAndSdkPaths());
    const auto updates = mLogger->linesContaining("Updating Korv Connect registry keys");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_NE(updates[0].message.find("URL:Epic2Korv Protocol"), std::string::npos);
    EXPECT_TRUE(classes("epic2korv").valueExists("URL Protocol"));
    EXPECT_EQ(mLogger->linesContaining("Pellam Keys have already been set, no need to reset them.").size(),
              1u);

    // Without the client path the legacy and connector steps fail; the Link2Korv protocols are still written.
    openAppKey(true, false).deleteValue("ClientPath");
    classes("luna2korv\\shell\\open\\command", true).set("", std::string_view());
    mLogger->clear();
    EXPECT_FALSE(systemUtils::overwriteProtocolAndSdkPaths());
    EXPECT_EQ(mLogger->linesContaining("Korv app ClientPath Key is not present").size(), 1u);
    EXPECT_EQ(mLogger->linesContaining("Failed to update registry keys, this may cause launch issues").size(),
              1u);
    EXPECT_EQ(command("luna2korv").rfind("\"" + link + "\"", 0), 0u);
}

}  // namespace
}  // namespace kvx::apps::suite
