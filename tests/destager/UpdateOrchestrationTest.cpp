// Applying an update on real folders, with the steps that would stop real processes or change the
// machine's registration replaced by recorders. Wine 8 creates no directory symbolic links
// (CreateSymbolicLinkW returns TRUE and makes nothing), so symlink-mode installs run over
// FakeSymlinkFilesystem, which records links in memory; the folders and files around them are real.
#include "destager/UpdateOrchestration.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "destager/SymlinkMode.h"
#include "destager/TelemetryRecordDecoding.h"
#include "foundation/Singleton.h"
#include "foundation/fs/FileFunctions.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/ComInitializer.h"
#include "framework/config/ConfigSystem.h"
#include "support/Capture.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"
#include "support/TempFolder.h"
#include "support/TestClock.h"

namespace kvx::apps::destager {
namespace {

using foundation::utils::Singleton;
using internal::UpdateSteps;
using Calls = std::vector<std::string>;

const Calls kFullRefresh{"updateUninstallStrings", "updateUninstallEntries", "createDesktopShortcut",
                         "createStartMenuShortcuts", "createAppRecoveryShortcut"};
const Calls kFlintRefresh{"updateUninstallStrings", "updateUninstallEntries", "createAppRecoveryShortcut"};

class UpdateOrchestrationTest : public ::testing::Test {
protected:
    UpdateOrchestrationTest() : mConfig(Singleton<config::ConfigSystem>::create()) {}
    ~UpdateOrchestrationTest() override { Singleton<config::ConfigSystem>::destroy(); }

    DestageContext contextFor(const std::string& stagedFolderName) {
        return contextFor(stagedFolderName, mInstall);
    }
    DestageContext contextFor(const std::string& stagedFolderName, const fs::Path& installRoot) {
        const fs::Path executable =
            installRoot / fs::Path::fromUtf8(stagedFolderName) / L"Korv Desktop\\KorvDestager.exe";
        return buildDestageContext(installRoot, executable, mClock->now100nsSinceEpoch());
    }
    // "old" in the live client (a plain folder, or a link to the versioned client) and "new" staged.
    DestageContext prepareInstall(const std::string& stagedFolderName, bool clientIsLink = false) {
        const fs::Path install(L"Korv");
        mTemp.writeFile(install / (clientIsLink ? mVersionedClient : L"Korv Desktop") / L"KorvDesktop.exe",
                        "old");
        mTemp.writeFile(install / fs::Path::fromUtf8(stagedFolderName) / L"Korv Desktop\\KorvDesktop.exe",
                        "new");
        const DestageContext context = contextFor(stagedFolderName);
        if (clientIsLink) {
            EXPECT_TRUE(fs::filesystem().createDirectorySymlink(mVersionedClient, context.clientPath).isOk());
        }
        return context;
    }
    UpdateSteps recordingSteps() {
        auto record = [this](const char* name) {
            return [this, name](auto&&...) { mCalls.push_back(name); };
        };
        return UpdateSteps{
            .setSuiteUnavailable = record("setSuiteUnavailable"),
            .enterRepairState =
                [this] {
                    mCalls.push_back("enterRepairState");
                    return mRepairStateCode;
                },
            .updateBackgroundServiceConfig = record("updateBackgroundServiceConfig"),
            .updateUninstallStrings = record("updateUninstallStrings"),
            .updateUninstallEntries = record("updateUninstallEntries"),
            .createDesktopShortcut = record("createDesktopShortcut"),
            .createStartMenuShortcuts = record("createStartMenuShortcuts"),
            .createAppRecoveryShortcut = record("createAppRecoveryShortcut"),
        };
    }
    int32_t apply(const DestageContext& context, const DestagerOptions& options = {}) {
        return applyUpdate(options, context, recordingSteps());
    }
    std::string clientExeIn(const fs::Path& folder) const {
        auto bytes = foundation::file::readFile(folder / L"KorvDesktop.exe", 100);
        return bytes.isOk() ? std::string(bytes.peek().begin(), bytes.peek().end()) : "<missing>";
    }
    size_t logged(int32_t level, const std::string& function, const std::string& message) {
        size_t count = 0;
        for (const auto& line : mLogger->lines()) {
            count += line.level == level && line.function == function && line.message == message;
        }
        return count;
    }

    config::ConfigSystem& mConfig;
    test::ScopedTestClock mClock;
    test::ScopedCapturingLogger mLogger;
    test::TempFolder mTemp;
    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{std::make_shared<test::FakeSymlinkFilesystem>()};
    const fs::Path mInstall = mTemp.makeFolder(L"Korv");
    const fs::Path mVersionedClient{L"1.2.3.4-100\\Korv Desktop"};
    int32_t mRepairStateCode = 0;
    Calls mCalls;
};

constexpr const char* kDestageUpdate = "kvx::apps::destager::internal::destageUpdate";
constexpr const char* kApplyUpdate = "kvx::apps::destager::applyUpdate";

TEST_F(UpdateOrchestrationTest, BothFoldersMissingIs4AndNothingIsStopped) {
    const DestageContext context = contextFor("StagedKorvDesktop");
    EXPECT_EQ(apply(context), 4);
    EXPECT_TRUE(mCalls.empty());
    EXPECT_EQ(logged(services::logging::Error, "kvx::apps::destager::internal::validateDirectories",
                     "Could not find the staged update, path[" + context.stagedClientPath.utf8() + "]"),
              1u);
    EXPECT_EQ(logged(services::logging::Error, kApplyUpdate,
                     "Couldn't find staged update/client folders required to destage update, code[4]"),
              1u);
}

// The destager's copy lands in the live client after every update; started from there (or from
// anywhere that makes the staged client overlap the live one) it must leave the client alone.
TEST_F(UpdateOrchestrationTest, StagedClientOverlappingTheLiveClientIs4AndNothingIsTouched) {
    mTemp.writeFile(L"Korv\\Korv Desktop\\KorvDesktop.exe", "old");
    mTemp.writeFile(L"Korv\\Korv Desktop\\sub\\Korv Desktop\\KorvDesktop.exe", "nested");
    mTemp.writeFile(L"Korv\\StagedKorvDesktop-2\\Korv Desktop\\KorvDesktop.exe", "linked");
    const fs::Path linkTarget(L"StagedKorvDesktop-2\\Korv Desktop");
    struct Row {
        const char* name;
        fs::Path installRoot;
        fs::Path executable;
        bool clientIsLink;
    };
    const Row rows[] = {
        {"the live client itself", mInstall, mInstall / L"Korv Desktop\\KorvDestager.exe", false},
        {"the live client in other letter case", mInstall, mTemp / L"KORV\\korv desktop\\KorvDestager.exe",
         false},
        {"inside the live client", mInstall, mInstall / L"Korv Desktop\\sub\\Korv Desktop\\KorvDestager.exe",
         false},
        {"holding the live client", mInstall / L"Korv Desktop\\sub", mInstall / L"x\\KorvDestager.exe",
         false},
        {"the target of the client link", mInstall, mInstall / linkTarget / L"KorvDestager.exe", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mCalls.clear();
        mLogger->clear();
        const DestageContext context = buildDestageContext(row.installRoot, row.executable, 0);
        if (row.clientIsLink) {
            ASSERT_TRUE(fs::filesystem().rename(mInstall / L"Korv Desktop", mInstall / L"plain").isOk());
            ASSERT_TRUE(fs::filesystem().createDirectorySymlink(linkTarget, context.clientPath).isOk());
        }
        EXPECT_EQ(apply(context), 4);
        EXPECT_TRUE(mCalls.empty());
        EXPECT_EQ(logged(services::logging::Error, "kvx::apps::destager::internal::validateDirectories",
                         "Staged client is the live client, nothing to destage, path[" +
                             context.stagedClientPath.utf8() + "]"),
                  1u);
        EXPECT_EQ(clientExeIn(context.clientPath), row.clientIsLink              ? "linked"
                                                   : row.installRoot == mInstall ? "old"
                                                                                 : "nested");
    }
}

TEST_F(UpdateOrchestrationTest, MissingClientIsRepairedFromTheStagedClient) {
    mTemp.writeFile(L"Korv\\StagedKorvDesktop\\Korv Desktop\\KorvDesktop.exe", "new");
    const DestageContext context = contextFor("StagedKorvDesktop");

    EXPECT_EQ(apply(context), 0);
    EXPECT_EQ(clientExeIn(context.clientPath), "new");
    EXPECT_FALSE(fs::filesystem().exists(context.stagedClientPath).unwrap());
    EXPECT_EQ(logged(services::logging::Warn, kApplyUpdate, "Existing client directory is missing"), 1u);
    EXPECT_EQ(logged(services::logging::Warn, kDestageUpdate,
                     "Could not find main client folder at path[" + context.clientPath.utf8() +
                         "], attempting to repair with this update"),
              1u);
    Calls expected{"setSuiteUnavailable", "enterRepairState", "updateBackgroundServiceConfig"};
    expected.insert(expected.end(), kFullRefresh.begin(), kFullRefresh.end());
    EXPECT_EQ(mCalls, expected);
}

TEST_F(UpdateOrchestrationTest, PlainStagedNameInAnyCaseSwapsFolders) {
    for (const char* name : {"stagedkorvdesktop", "STAGEDKORVDESKTOP"}) {
        const fs::Path root = fs::Path::fromUtf8(std::string("Korv-") + name);
        mTemp.writeFile(root / L"Korv Desktop\\KorvDesktop.exe", "old");
        mTemp.writeFile(root / fs::Path::fromUtf8(name) / L"Korv Desktop\\KorvDesktop.exe", "new");
        const DestageContext context = contextFor(name, mTemp / root);

        EXPECT_EQ(apply(context), 0) << name;
        EXPECT_EQ(clientExeIn(context.clientPath), "new") << name;
        EXPECT_EQ(clientExeIn(context.outdatedClientPath), "old") << name;
    }
    EXPECT_EQ(mFs->linkCreationAttempts(), 0);
}

TEST_F(UpdateOrchestrationTest, OtherStagedNameMigratesAPlainClientFirst) {
    const DestageContext context = prepareInstall("Staged-13.697");
    const fs::Path versioned =
        mInstall / fs::Path::fromUtf8(internal::versionedFolderName(context)) / L"Korv Desktop";

    EXPECT_EQ(apply(context), 0);
    EXPECT_EQ(clientExeIn(versioned), "old");
    ASSERT_TRUE(mFs->link(context.clientPath).has_value());
    EXPECT_EQ(mFs->link(context.clientPath)->storedTarget, context.stagedLinkTarget);
    EXPECT_EQ(clientExeIn(context.clientPath), "new");
    EXPECT_EQ(mFs->linkCreationAttempts(), 2);  // the migration's link, then the re-pointed one
}

TEST_F(UpdateOrchestrationTest, OtherStagedNameOverALinkedClientOnlyRepointsIt) {
    const DestageContext context = prepareInstall("Staged-13.697", true);

    EXPECT_EQ(apply(context), 0);
    EXPECT_EQ(mFs->link(context.clientPath)->storedTarget, context.stagedLinkTarget);
    EXPECT_EQ(mFs->linkCreationAttempts(), 2);  // the test's own link, then the re-pointed one
    EXPECT_EQ(clientExeIn(mInstall / mVersionedClient), "old");
}

TEST_F(UpdateOrchestrationTest, PlainStagedNameRevertsALinkedClientFirst) {
    const DestageContext context = prepareInstall("StagedKorvDesktop", true);

    EXPECT_EQ(apply(context), 0);
    EXPECT_EQ(mFs->linkCount(), 0u);
    EXPECT_EQ(clientExeIn(context.clientPath), "new");
    EXPECT_EQ(clientExeIn(context.outdatedClientPath), "old");
    EXPECT_FALSE(fs::filesystem().exists(mInstall / L"1.2.3.4-100").unwrap());
}

TEST_F(UpdateOrchestrationTest, FailedStepCodesPassThroughAndSkipTheRefresh) {
    const DestageContext context = prepareInstall("Staged-13.697");

    mRepairStateCode = 8;
    EXPECT_EQ(apply(context), 8);
    EXPECT_EQ(logged(services::logging::Error, kDestageUpdate, "Failed to enter repair state, code[8]"), 1u);
    EXPECT_EQ(clientExeIn(context.clientPath), "old");

    mRepairStateCode = 0;
    mCalls.clear();
    mFs->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 100);
    EXPECT_EQ(apply(context), 30);
    EXPECT_EQ(logged(services::logging::Error, kDestageUpdate,
                     "Failed to migrate install to symlink mode, code[30]"),
              1u);
    EXPECT_EQ(logged(services::logging::Error, kApplyUpdate, "Failed to destage update, code[30]"), 1u);
    EXPECT_EQ(mCalls, (Calls{"setSuiteUnavailable", "enterRepairState"}));
}

struct RefreshCase {
    Action action;
    Mode mode;
    const char* storedMode;
    bool shortcuts;
};

TEST_F(UpdateOrchestrationTest, RefreshSkipsDesktopAndStartMenuForFlintOnly) {
    const RefreshCase cases[] = {
        {Action::Update, Mode::Flint, "normal", false},
        {Action::Install, Mode::Flint, "normal", false},
        {Action::Update, Mode::Unspecified, "FLINT", false},
        {Action::Update, Mode::Unspecified, "normal", true},
        {Action::Install, Mode::Unspecified, "flint", true},
        {Action::Update, Mode::Normal, "flint", true},
        {Action::Repair, Mode::Luna, "flint", true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const RefreshCase& c = cases[i];
        SCOPED_TRACE(std::string(actionName(c.action)) + " " + modeName(c.mode) + " " + c.storedMode);
        const fs::Path root = fs::Path::fromUtf8("Korv-" + std::to_string(i));
        mTemp.writeFile(root / L"Korv Desktop\\KorvDesktop.exe", "old");
        mTemp.writeFile(root / L"StagedKorvDesktop\\Korv Desktop\\KorvDesktop.exe", "new");
        mConfig.set(config::Store::Ordinary, "app.mode", c.storedMode, config::kScopeStatic);
        mCalls.clear();
        DestagerOptions options;
        options.action = c.action;
        options.mode = c.mode;
        EXPECT_EQ(apply(contextFor("StagedKorvDesktop", mTemp / root), options), 0);
        Calls expected{"setSuiteUnavailable", "enterRepairState", "updateBackgroundServiceConfig"};
        const Calls& refresh = c.shortcuts ? kFullRefresh : kFlintRefresh;
        expected.insert(expected.end(), refresh.begin(), refresh.end());
        EXPECT_EQ(mCalls, expected);
    }
}

TEST_F(UpdateOrchestrationTest, DesktopShortcutIsWantedOnlyForInstallOrRepairOutsideFlint) {
    struct Row {
        Action action;
        Mode mode;
        bool noDesktopShortcut;
        bool wanted;
    };
    for (const Row& row :
         {Row{Action::Install, Mode::Normal, false, true}, Row{Action::Repair, Mode::Luna, false, true},
          Row{Action::Update, Mode::Normal, false, false}, Row{Action::Install, Mode::Flint, false, false},
          Row{Action::Install, Mode::Unspecified, true, false}}) {
        SCOPED_TRACE(std::string(actionName(row.action)) + " " + modeName(row.mode));
        EXPECT_EQ(internal::isDesktopShortcutWanted(DestagerOptions{
                      .action = row.action, .mode = row.mode, .noDesktopShortcut = row.noDesktopShortcut}),
                  row.wanted);
    }
}

// The program's own shortcut steps, with a file standing where every shortcut folder would be.
TEST_F(UpdateOrchestrationTest, ShortcutFailuresAreRecordedAsWarningsOfTheirStep) {
    WinUtils::ComInitializer com;
    const fs::Path occupied = mTemp.writeFile(L"occupied", "a file");
    foundation::setSpecialDirectoryRedirections(
        {{foundation::SpecialDirectory::commonDesktop, (occupied / L"Desktop").utf8()},
         {foundation::SpecialDirectory::commonProgramsShortcuts, (occupied / L"Programs").utf8()}});
    const UpdateSteps steps = internal::systemUpdateSteps();
    steps.createDesktopShortcut(DestagerOptions{.action = Action::Install});
    steps.createStartMenuShortcuts();
    DestageContext context;
    context.clientPath = occupied / L"Korv Desktop";
    steps.createAppRecoveryShortcut(context);
    foundation::setSpecialDirectoryRedirections({});

    std::vector<std::pair<std::string, std::string>> recorded;
    for (const DecodedErrorRecord& record :
         decodeDestageErrors(mConfig.getString("machine.destageErrors", ""))) {
        recorded.emplace_back(record.fields.ecod, record.fields.esev);
    }
    EXPECT_EQ(recorded, (std::vector<std::pair<std::string, std::string>>{{"UPEC-2200", "warning"},
                                                                          {"UPEC-2201", "warning"},
                                                                          {"UPEC-2201", "warning"},
                                                                          {"UPEC-2201", "warning"},
                                                                          {"UPEC-2201", "warning"},
                                                                          {"UPEC-2206", "warning"}}));
}

}  // namespace
}  // namespace kvx::apps::destager
