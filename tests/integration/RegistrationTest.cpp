// The suite's registration in the prefix's real registry; a simulated "Explorer.exe" plays the shell. The
// background service's configuration against Wine's real service control manager, on a service of the
// test's own (never started).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "foundation/registry/RegistryTestSupport.h"
#include "framework/errors/RecordingSink.h"
#include "integration/AppCoreTestSupport.h"
#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "integration/BackgroundServiceConfig.h"
#include "integration/GameCatalogExtension.h"
#include "integration/GameCatalogRegistration.h"
#include "integration/ProtocolHandlers.h"
#include "integration/RegistrationTexts.h"
#include "integration/ThirdPartyAvailability.h"
#include "integration/UninstallEntries.h"
#include "kvx/BuildVersion.h"
#include "process/AutoScHandle.h"
#include "process/ProcessTestSupport.h"
#include "support/Capture.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::suite {
namespace {

using foundation::RegistryKey;
using namespace std::chrono_literals;
using namespace services::comInstall;

constexpr const char* kInstaller = "C:\\ProgramData\\Package Cache\\KorvSetup.exe";

RegistryKey classes(std::string_view path) {
    return RegistryKey(HKEY_CLASSES_ROOT, path, true, true);
}
RegistryKey commandKey(std::string_view protocol) {
    return classes(fmt::format("{}\\shell\\open\\command", protocol));
}
std::string command(std::string_view protocol) {
    return commandKey(protocol).get<std::string>("");
}
// The bundle's entry is in the 32-bit view, the product's in the 64-bit one.
RegistryKey uninstallEntry(const std::string& name, bool view64 = false) {
    return RegistryKey(HKEY_LOCAL_MACHINE, fmt::format("{}\\{}", kUninstallPath, name), view64, false);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        clean();
        test::copySimProgram(mTemp.path().std() / L"Explorer.exe");
        mShell.emplace(test::startChild(mTemp.path().std() / L"Explorer.exe"));
    }
    void TearDown() override { clean(); }
    void clean() {
        for (const bool view64 : {true, false}) {
            for (const char* name :
                 {"IsUnavailable", "ClientPath", "LauncherAppPath", "InstallLocation", "KorvConnectMsAppPath",
                  "KorvConnectLink2KorvAppPath", "BundleProviderKey", "OriginalUninstallString",
                  "OriginalQuietUninstallString", "OriginalUninstallPath"}) {
                openAppKey(true, view64).deleteValue(name);
            }
            RegistryKey(HKEY_LOCAL_MACHINE, "Software", view64, true).deleteTree("Pellam");
            RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Tessory", view64, true).deleteTree("KorvDM");
            for (const std::string& name : {mBundle, mOther, std::string(kProductId)}) {
                RegistryKey(HKEY_LOCAL_MACHINE, kUninstallPath, view64, true).deleteTree(name);
            }
        }
        for (const char* key : {"korvconnect.microsoft", "link2korv", "steam2korv", "epic2korv", "luna2korv",
                                "pellam", "pellam2"}) {
            RegistryKey(HKEY_CLASSES_ROOT, "", true, false).deleteTree(key);
        }
        mLogger->clear();
    }
    void addUninstallEntry(const std::string& name, const char* displayName, bool view64 = false) {
        RegistryKey key =
            RegistryKey(HKEY_LOCAL_MACHINE, kUninstallPath, view64, true).createSubKey(name, view64);
        key.set("DisplayName", displayName);
        key.set("UninstallString", fmt::format("\"{}\" /uninstall /burn", kInstaller));
        key.set("QuietUninstallString", fmt::format("\"{}\" /uninstall /quiet /burn", kInstaller));
    }

    // The names sort after anything Wine registers, so the enumeration order is theirs.
    const std::string mBundle = fmt::format("{{zz-KvxTestBundle-{}}}", GetCurrentProcessId());
    const std::string mOther = fmt::format("{{zz-KvxTestOther-{}}}", GetCurrentProcessId());
    test::ScopedConfig mConfig;
    test::TempFolder mTemp;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    std::optional<test::Child> mShell;
};

TEST_F(Registration, AvailabilityFlagsProtocolsAndExtensionState) {
    const struct {
        bool available;
        std::optional<uint32_t> previous;  // "IsUnavailable" before
    } rows[] = {{false, std::nullopt}, {false, 1u}, {true, 1u}};
    // A launcher reading during the grace already sees the flag, and its protocol still works.
    std::string duringGrace;
    mClock->duringSleep([&] {
        duringGrace = std::to_string(openAppKey(false, true).get<uint32_t>("IsUnavailable")) + " " +
                      command("link2korv");
    });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.available ? "leaving" : row.previous ? "entering again" : "entering");
        clean();
        if (row.previous) {
            openAppKey(true, true).set("IsUnavailable", *row.previous);
        }
        systemUtils::registerProtocol("link2korv", "URL:Link2Korv Protocol", "\"x\" \"%1\"");
        openAppKey(true, true)
            .set("InstallLocation", std::string_view(mTemp.makeFolder(L"Korv Desktop").parent().utf8()));
        const size_t sleepsBefore = mClock->sleeps().size();
        duringGrace.clear();
        EXPECT_TRUE(setThirdPartyAvailability(row.available));
        EXPECT_EQ(duringGrace, row.previous ? "" : "1 \"x\" \"%1\"");
        for (const bool view64 : {true, false}) {
            EXPECT_EQ(openAppKey(false, view64).get<uint32_t>("IsUnavailable"), row.available ? 0u : 1u);
        }
        // Launchers that read the flag just before it was set get their grace.
        const auto sleeps = mClock->sleeps();
        EXPECT_EQ(std::count(sleeps.begin() + sleepsBefore, sleeps.end(), 2000ms), row.previous ? 0 : 1);
        // Entering blanks every protocol's command; leaving leaves them to the repair.
        for (const ProtocolRow& protocol : protocolTable()) {
            const bool blank =
                commandKey(protocol.protocol).valueExists("") && command(protocol.protocol).empty();
            EXPECT_EQ(blank, !row.available) << protocol.protocol;
        }
        EXPECT_EQ(RegistryKey(HKEY_LOCAL_MACHINE, kStateKeyPath, true, false).get<uint32_t>("State"),
                  row.available ? 1u : 2u);
    }
    // Enabling registered the connector of the live client folder as the extension's local server.
    const std::string clsid = fmt::format("{}\\{{{}}}\\LocalServer32", kClassesClsidPath, kExtensionClsid);
    EXPECT_EQ(
        RegistryKey(HKEY_LOCAL_MACHINE, clsid, true, false).get<std::string>(""),
        (mTemp.path() / L"Korv Desktop\\KorvConnect_microsoft.exe").utf8() + " \"korvconnect.microsoft://\"");
    const std::string record = fmt::format("{}\\{}", kRegistrationsPath, kStoreProductId);
    EXPECT_EQ(RegistryKey(HKEY_LOCAL_MACHINE, record, true, false).get<uint32_t>("Loadable"), 1u);
    EXPECT_EQ(mLogger->count("Set COM installation state to: Installed"), 1u);
}

TEST_F(Registration, SkipSwitchAndRefusedWrites) {
    mConfig.set("machine.qa.skipThirdPartyKeys", "true");
    EXPECT_TRUE(setThirdPartyAvailability(false));
    EXPECT_FALSE(openAppKey(false, true).valueExists("IsUnavailable"));
    mConfig.set("machine.qa.skipThirdPartyKeys", "false");

    test::ScriptedRegistryProxy proxy;
    const test::ScopedRegistryProxy scoped(proxy);
    std::wstring_view refused = L"IsUnavailable";
    proxy.refuseValue = [&](LPCWSTR name) {
        return name != nullptr && name == refused ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    };
    EXPECT_FALSE(setThirdPartyAvailability(false));
    EXPECT_EQ(mLogger->count(
                  "Failed to update one or more registry keys while entering repair mode, may cause issues "
                  "with client updates or app recovery"),
              1u);
    EXPECT_EQ(command("luna2korv"), "") << "the protocols are still blanked";
    // A refused extension state fails the change with its telemetry.
    refused = L"State";
    mLogger->clear();
    test::ScopedRecordingSink sink;
    EXPECT_FALSE(disableComServer());
    ASSERT_EQ(sink->events().size(), 1u);
    EXPECT_EQ(sink->events()[0].taxonomy(), "com.disable.error");
    const auto lines =
        mLogger->linesContaining("Failed to set local machine extension installation state set to: Updating");
    ASSERT_EQ(lines.size(), 2u) << "reported where it failed and where the change was asked for";
    EXPECT_EQ(lines[0].function, "kvx::services::comInstall::logErrorResult");
    EXPECT_EQ(lines[1].function, "kvx::apps::suite::disableComServer");
}

// The blanked commands point into the client folder again, found from the install location if need be.
TEST_F(Registration, ProtocolRepairRestoresCommandsAndLegacyKeys) {
    const fs::Path location = mTemp / L"Program Files";
    const std::string client = (location / L"Korv Desktop").utf8();
    mTemp.writeFile(L"Program Files\\Korv Desktop\\Link2Korv.exe", "exe");
    mTemp.writeFile(L"Program Files\\Korv Desktop\\KorvConnect_microsoft.exe", "exe");
    openAppKey(true, true).set("InstallLocation", std::string_view(location.utf8()));
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
    EXPECT_EQ(command("pellam2"), launcher + " \"%1\"");
    EXPECT_EQ(RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Tessory\\KorvDM", false, false)
                  .get<std::string>("ClientPath"),
              client + "\\KorvDesktop.exe");
    // Everything right: nothing rewritten but a protocol key that lost its "URL Protocol" value.
    classes("epic2korv").deleteValue("URL Protocol");
    mLogger->clear();
    EXPECT_TRUE(systemUtils::overwriteProtocolAndSdkPaths());
    const auto updates = mLogger->linesContaining("Updating Korv Connect registry keys");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_NE(updates[0].message.find("URL:Epic2Korv Protocol"), std::string::npos);
    EXPECT_TRUE(classes("epic2korv").valueExists("URL Protocol"));
    EXPECT_EQ(mLogger->count("Pellam Keys have already been set, no need to reset them."), 1u);
    // Without the client path the legacy and connector steps fail; Link2Korv's are still written.
    openAppKey(true, false).deleteValue("ClientPath");
    commandKey("luna2korv").set("", std::string_view());
    mLogger->clear();
    EXPECT_FALSE(systemUtils::overwriteProtocolAndSdkPaths());
    EXPECT_EQ(mLogger->count("Korv app ClientPath Key is not present"), 1u);
    EXPECT_EQ(mLogger->count("Failed to update registry keys, this may cause launch issues"), 1u);
    EXPECT_EQ(command("luna2korv").rfind("\"" + link + "\"", 0), 0u);
}

TEST_F(Registration, WrongBundleIdIsSearchedAndUninstallCommandsPointAtTheSuiteUninstaller) {
    addUninstallEntry(mOther, "korv app");  // other letter case: not the suite
    addUninstallEntry(mBundle, "Korv app");
    openAppKey(true, true).set("BundleProviderKey", std::string_view(mOther));
    const fs::Path client = mTemp.path() / L"Korv Desktop\\Korv Desktop";  // live, in an install
    const std::string installer = fmt::format("\"{}\" /uninstall", kInstaller);
    const std::string suite = "\"" + (client / L"KorvUninstall.exe").utf8() + "\" /uninstall";
    // Run 0: the suite's uninstaller is found nowhere in the install, so the installer's commands stay.
    // Then they are saved once: the third run must not take the suite's for them.
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        if (run == 1) {
            mTemp.writeFile(L"Korv Desktop\\Korv Desktop\\KorvUninstall.exe", "");
        }
        test::resolveAppDirectoriesFrom(client / L"KorvDestager.exe");
        updateUninstallStrings();
        for (const bool view64 : {true, false}) {
            EXPECT_EQ(openAppKey(false, view64).get<std::string>("BundleProviderKey"), mBundle);
        }
        const RegistryKey appKey = openAppKey(false, true);
        EXPECT_EQ(appKey.get<std::string>("OriginalUninstallString"), installer + " /burn");
        EXPECT_EQ(appKey.get<std::string>("OriginalQuietUninstallString"), installer + " /quiet /burn");
        EXPECT_EQ(appKey.get<std::string>("OriginalUninstallPath"), kInstaller);
        const RegistryKey bundle = uninstallEntry(mBundle);
        EXPECT_EQ(bundle.get<std::string>("UninstallString"), run == 0 ? installer + " /burn" : suite);
        EXPECT_EQ(bundle.get<std::string>("QuietUninstallString"),
                  (run == 0 ? installer : suite) + " /quiet" + (run == 0 ? " /burn" : ""));
    }
    EXPECT_EQ(mLogger->count("No suite uninstaller in the install, [UninstallString] left as it is"), 1u);
    EXPECT_EQ(mLogger->count("No suite uninstaller in the install, ["), 2u);
    EXPECT_EQ(mLogger->count(fmt::format("Incorrect BundleProviderKey found [{}]", mOther)), 1u);
}

TEST_F(Registration, UninstallEntriesGetTheNameAndVersionOrReportWhatIsMissing) {
    using Errors = std::vector<std::pair<UninstallEntryError, std::string>>;
    const std::string noProduct =
        fmt::format("Couldn't open the key {}\\{} for updating", kUninstallPath, kProductId);
    const struct {
        bool bundle;
        bool product;
        Errors errors;
    } rows[] = {
        {true, true, {}},
        {false, true, {{UninstallEntryError::KeyNotFound, "The app guid is empty"}}},
        {true, false, {{UninstallEntryError::RegistryPerms, noProduct}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.errors));
        clean();
        if (row.bundle) {
            addUninstallEntry(mBundle, row.product ? "Pellam Beta" : "Korv Desktop");
        }
        if (row.product) {
            addUninstallEntry(kProductId, "Korv Desktop", true);
        }
        Errors errors;
        updateUninstallEntries(
            [&](UninstallEntryError error, const std::string& text) { errors.emplace_back(error, text); });
        EXPECT_EQ(errors, row.errors);
        if (row.bundle) {
            EXPECT_EQ(uninstallEntry(mBundle).get<std::string>("DisplayName"), "Korv app");
            EXPECT_EQ(uninstallEntry(mBundle).get<std::string>("BundleVersion"), kBuildVersion);
        }
        const RegistryKey product = uninstallEntry(kProductId, true);
        EXPECT_EQ(product.isValid(), row.product) << "never created";
        if (row.product) {
            EXPECT_EQ(product.get<std::string>("DisplayVersion"), kBuildVersion);
            EXPECT_EQ(product.get<uint32_t>("VersionMinor"), kBuildVersionMinor);
            EXPECT_FALSE(product.valueExists("BundleVersion"));
        }
    }
}

using destager::internal::configureService;
using services::platform::AutoSC_HANDLE;

class BackgroundServiceConfig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(mManager);
        mTemp.writeFile(L"new client\\KorvBackgroundService.exe", "exe");
        TearDown();
    }
    void TearDown() override {
        AutoSC_HANDLE service(OpenServiceA(mManager.get(), mName.c_str(), DELETE));
        if (service) {
            DeleteService(service.get());
        }
    }
    // "<start type> <image path> <description>" as the service manager keeps them.
    std::string registered() const {
        const foundation::RegistryKey key(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + mName,
                                          true, false);
        return fmt::format("{} {} {}", key.get<uint32_t>("Start"), key.get<std::string>("ImagePath"),
                           key.get<std::string>("Description"));
    }

    test::TempFolder mTemp;
    const fs::Path mNewExe = mTemp / L"new client\\KorvBackgroundService.exe";  // a blank: always quoted
    const std::string mName = "KvxTestBgs-" + std::to_string(GetCurrentProcessId());
    AutoSC_HANDLE mManager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
};

// A refused step ends the configuration with its own error and leaves the registration as it was.
TEST_F(BackgroundServiceConfig, NewPathStartTypeAndDescriptionOrTheErrorAndNoChange) {
    const std::string old = fmt::format("{} \"C:\\old\\KorvBackgroundService.exe\" ", SERVICE_AUTO_START);
    const std::string configured =
        fmt::format("{} \"{}\" Korv app Background Service", SERVICE_DEMAND_START, mNewExe.utf8());
    const struct {
        bool registeredBefore;
        fs::Path exe;
        const char* sddl;
        const char* error;  // none: configured
    } rows[] = {
        {true, mNewExe, destager::internal::kBgServiceSddl, nullptr},
        {false, mNewExe, destager::internal::kBgServiceSddl, nullptr},
        {true, mTemp / L"new client\\missing.exe", destager::internal::kBgServiceSddl,
         "Executable path does not exist"},
        {true, mNewExe, "D:(A;;GA;;;no such trustee)", "Invalid SDDL string [D:(A;;GA;;;no such trustee)]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error ? row.error : row.registeredBefore ? "registered" : "missing");
        TearDown();
        if (row.registeredBefore) {
            ASSERT_TRUE(AutoSC_HANDLE(CreateServiceA(
                mManager.get(), mName.c_str(), mName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "\"C:\\old\\KorvBackgroundService.exe\"", nullptr,
                nullptr, nullptr, nullptr, nullptr)));
        }
        const auto result =
            configureService(mName, destager::internal::kBgServiceDescription,
                             services::platform::ServiceStartType::OnDemand, row.exe.utf8(), row.sddl);
        EXPECT_EQ(result.isError() ? result.peekError() : "", row.error ? row.error : "");
        EXPECT_EQ(registered(), row.error ? old : configured);
    }
    // The update's step logs it and goes on; the path check comes before the service is opened.
    test::ScopedCapturingLogger logger;
    DestageContext context;
    context.backgroundServiceExePath = mTemp / L"new client\\missing.exe";
    destager::internal::updateBackgroundServiceConfig(context);
    const std::string line = "Failed to update background service config: [Executable path does not exist]";
    EXPECT_EQ(logger->count(line), 1u);
}

}  // namespace
}  // namespace kvx::apps::suite
