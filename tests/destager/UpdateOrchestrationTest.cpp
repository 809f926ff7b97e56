// Updates applied to real folders with the steps beyond them recorded, and staged files checked against
// the archive. Wine makes no directory links: symlink-mode installs keep theirs in FakeSymlinkFilesystem.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

#include "destager/CrashPoints.h"
#include "destager/EarlyValidation.h"
#include "destager/StagedFileValidation.h"
#include "destager/StepTestSupport.h"
#include "destager/TelemetryRecordDecoding.h"
#include "destager/UpdateOrchestration.h"
#include "destager/crash/PartlyRemovingFilesystem.h"
#include "foundation/archive/ZipTestArchive.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/win/AutoHandle.h"
#include "foundation/win/ComInitializer.h"
#include "framework/app/WorkQueueSetup.h"
#include "framework/workqueue/WorkQueueSystem.h"
#include "support/FakeSymlinkFilesystem.h"
#include "support/ScopedFilesystem.h"

namespace kvx::apps::destager {
namespace {

using internal::UpdateSteps;
using services::logging::Error;
using services::logging::Info;
using services::logging::Warn;
using test::LoggedLine;
using Calls = std::vector<std::string>;
using Lines = std::vector<LoggedLine>;

const Calls kFullUpdate{"setSuiteUnavailable",           "enterRepairState",
                        "updateBackgroundServiceConfig", "updateUninstallStrings",
                        "updateUninstallEntries",        "createDesktopShortcut",
                        "createStartMenuShortcuts",      "createAppRecoveryShortcut"};
const Calls kFlintUpdate{"setSuiteUnavailable",    "enterRepairState",       "updateBackgroundServiceConfig",
                         "updateUninstallStrings", "updateUninstallEntries", "createAppRecoveryShortcut"};
constexpr const char* kDestageUpdate = "kvx::apps::destager::internal::destageUpdate";
constexpr const char* kApplyUpdate = "kvx::apps::destager::applyUpdate";

enum Client { Plain, Linked, Missing };

class UpdateOrchestrationTest : public test::StepFixture {
protected:
    // "old" in the live client (a plain folder, or a link to the versioned client) and "new" staged.
    DestageContext prepareInstall(const fs::Path& root, const std::string& stagedName, Client client) {
        const fs::Path staged = root / fs::Path::fromUtf8(stagedName) / L"Korv Desktop";
        if (client != Missing) {
            mRoot.writeFile(
                root / (client == Linked ? mVersionedClient : L"Korv Desktop") / L"KorvDesktop.exe", "old");
        }
        mRoot.writeFile(staged / L"KorvDesktop.exe", "new");
        const DestageContext context = buildDestageContext(mRoot / root, mRoot / staged / L"KorvDestager.exe",
                                                           mClock->now100nsSinceEpoch());
        if (client == Linked) {
            EXPECT_TRUE(fs::filesystem().createDirectorySymlink(mVersionedClient, context.clientPath).isOk());
        }
        return context;
    }
    int32_t apply(const DestageContext& context, const DestagerOptions& options = {}) {
        mCalls.clear();
        mLogger->clear();
        // Each step is logged too, so that its place among the update's own lines can be read.
        auto record = [this](const char* name) {
            return [this, name](auto&&...) {
                mCalls.push_back(name);
                KVX_LOG_VERBOSE("{}", name);
            };
        };
        auto enterRepairState = [this] {
            mCalls.push_back("enterRepairState");
            KVX_LOG_VERBOSE("enterRepairState");
            return mRepairStateCode;
        };
        const UpdateSteps steps{record("setSuiteUnavailable"),           enterRepairState,
                                record("updateBackgroundServiceConfig"), record("updateUninstallStrings"),
                                record("updateUninstallEntries"),        record("createDesktopShortcut"),
                                record("createStartMenuShortcuts"),      record("createAppRecoveryShortcut")};
        return applyUpdate(options, context, steps);
    }
    size_t logged(int32_t level, const std::string& function, const std::string& message) {
        return std::ranges::count(mLogger->lines(), LoggedLine{level, function, message});
    }

    test::ScopedFilesystem<test::FakeSymlinkFilesystem> mFs{std::make_shared<test::FakeSymlinkFilesystem>()};
    const fs::Path mInstall = mRoot.makeFolder(L"Korv");
    const fs::Path mVersionedClient{L"1.2.3.4-100\\Korv Desktop"};
    int32_t mRepairStateCode = 0;
    Calls mCalls;
};

// The destager's copy lands in the live client after every update; started from there (or from
// anywhere that makes the staged client overlap the live one) it must leave the client alone.
TEST_F(UpdateOrchestrationTest, FolderCheckFailuresAre4AndStopNothing) {
    mRoot.writeFile(L"Korv\\Korv Desktop\\KorvDesktop.exe", "old");
    mRoot.writeFile(L"Korv\\Korv Desktop\\sub\\Korv Desktop\\KorvDesktop.exe", "nested");
    mRoot.writeFile(L"Korv\\StagedKorvDesktop-2\\Korv Desktop\\KorvDesktop.exe", "linked");
    const fs::Path linkTarget(L"StagedKorvDesktop-2\\Korv Desktop");
    const fs::Path empty = mRoot.makeFolder(L"Empty");
    const std::string live = "Staged client is the live client, nothing to destage, path[";
    const fs::Path client = mInstall / L"Korv Desktop";
    const fs::Path exe(L"KorvDestager.exe");
    // The run's name, install root, executable, whether the client is a link, error and client left.
    const std::tuple<const char*, fs::Path, fs::Path, bool, std::string, std::string> rows[] = {
        {"both folders missing", empty, empty / L"StagedKorvDesktop\\Korv Desktop" / exe, false,
         "Could not find the staged update, path[", "-"},
        {"the live client itself", mInstall, client / exe, false, live, "old"},
        {"the live client in other letter case", mInstall, mRoot / L"KORV\\korv desktop" / exe, false, live,
         "old"},
        {"inside the live client", mInstall, client / L"sub\\Korv Desktop" / exe, false, live, "old"},
        {"holding the live client", client / L"sub", mInstall / L"x" / exe, false, live, "nested"},
        {"the target of the client link", mInstall, mInstall / linkTarget / exe, true, live, "linked"},
    };
    for (const auto& [name, installRoot, executable, clientIsLink, error, clientExe] : rows) {
        SCOPED_TRACE(name);
        const DestageContext context = buildDestageContext(installRoot, executable, 0);
        if (clientIsLink) {
            ASSERT_TRUE(fs::filesystem().rename(client, mInstall / L"plain").isOk());
            ASSERT_TRUE(fs::filesystem().createDirectorySymlink(linkTarget, context.clientPath).isOk());
        }
        EXPECT_EQ(apply(context), 4);
        EXPECT_TRUE(mCalls.empty());
        EXPECT_EQ(
            mLogger->lines(),
            (Lines{{Error, "kvx::apps::destager::internal::validateDirectories",
                    error + context.stagedClientPath.utf8() + "]"},
                   {Error, kApplyUpdate,
                    "Couldn't find staged update/client folders required to destage update, code[4]"}}));
        EXPECT_EQ(clientExeIn(context.clientPath), clientExe);
    }
}

// Plain names (any case) swap folders, others link the client; a missing client is repaired. Shortcuts
// are refreshed unless Flint's (options or stored mode); installs and repairs outside Flint want one.
TEST_F(UpdateOrchestrationTest, UpdatesSwapByStagedNameAndRefreshByMode) {
    // Staged name, client, link attempts (the test's own too), options, stored mode, refreshed, wanted.
    const std::tuple<const char*, Client, int, DestagerOptions, const char*, bool, bool> rows[] = {
        {"STAGEDKORVDESKTOP", Plain, 0, {}, "normal", true, false},
        {"StagedKorvDesktop", Linked, 1, {}, "normal", true, false},
        {"StagedKorvDesktop", Missing, 0, {}, "normal", true, false},
        {"Staged-13.697", Plain, 2, {}, "normal", true, false},
        {"Staged-13.697", Linked, 2, {}, "normal", true, false},
        {"StagedKorvDesktop", Plain, 0, {Action::Install, Mode::Flint}, "normal", false, false},
        {"StagedKorvDesktop", Plain, 0, {}, "FLINT", false, false},
        {"StagedKorvDesktop", Plain, 0, {Action::Install}, "flint", true, true},
        {"StagedKorvDesktop", Plain, 0, {Action::Update, Mode::Normal}, "flint", true, false},
        {"StagedKorvDesktop", Plain, 0, {Action::Repair, Mode::Luna}, "flint", true, true},
        {"StagedKorvDesktop", Plain, 0, {Action::Install, Mode::Unspecified, true}, "normal", true, false},
    };
    int row = 0;
    for (const auto& [stagedName, client, links, options, storedMode, shortcuts, wanted] : rows) {
        const fs::Path root = fs::Path::fromUtf8("Korv-" + std::to_string(row++));
        SCOPED_TRACE(root.utf8());
        const int attemptsBefore = mFs->linkCreationAttempts();
        const DestageContext context = prepareInstall(root, stagedName, client);
        mConfig.set(config::Store::Ordinary, "app.mode", storedMode, config::kScopeStatic);
        EXPECT_EQ(apply(context, options), 0);
        EXPECT_EQ(clientExeIn(context.clientPath), "new");
        EXPECT_EQ(mFs->linkCreationAttempts() - attemptsBefore, links);
        const bool linked = std::string(stagedName) == "Staged-13.697";
        ASSERT_EQ(mFs->link(context.clientPath).has_value(), linked);
        if (linked) {
            EXPECT_EQ(mFs->link(context.clientPath)->storedTarget, context.stagedLinkTarget);
        } else {
            EXPECT_FALSE(fs::filesystem().exists(context.stagedClientPath).unwrap());
            EXPECT_EQ(clientExeIn(context.outdatedClientPath), client == Missing ? "-" : "old");
        }
        const size_t missing = client == Missing ? 1 : 0;
        EXPECT_EQ(logged(Warn, kApplyUpdate, "Existing client directory is missing"), missing);
        EXPECT_EQ(logged(Warn, kDestageUpdate,
                         "Could not find main client folder at path[" + context.clientPath.utf8() +
                             "], attempting to repair with this update"),
                  missing);
        EXPECT_EQ(mCalls, shortcuts ? kFullUpdate : kFlintUpdate);
        EXPECT_FALSE(resumeRegistered());
        EXPECT_EQ(internal::isDesktopShortcutWanted(options), wanted);
    }
}

// A failed repair state: StagedFileValidationTest.ValidationsTakeTheirPlaceInTheUpdate.
TEST_F(UpdateOrchestrationTest, FailedStepCodesPassThroughAndSkipTheRefresh) {
    const DestageContext context = prepareInstall(L"Korv", "Staged-13.697", Plain);
    mFs->failLinkCreation(ERROR_PRIVILEGE_NOT_HELD, 100);
    EXPECT_EQ(apply(context), 30);
    EXPECT_EQ(logged(Error, kDestageUpdate, "Failed to migrate install to symlink mode, code[30]"), 1u);
    EXPECT_EQ(logged(Error, kApplyUpdate, "Failed to destage update, code[30]"), 1u);
    EXPECT_EQ(mCalls, (Calls{"setSuiteUnavailable", "enterRepairState"}));
}

struct StoppedHard {};
std::optional<CrashStep> gStopAt;

// Steps Wine cannot reach for the crash matrix, stopped at through the filesystem seam (links live in
// FakeSymlinkFilesystem; no revert runs under Wine, so partway through its removal is reached here only):
// a run stopped hard leaves its way back wherever the client path is empty, and the run started next,
// by Windows or by the client, completes the update. What is left of the versioned folder stays: no run
// knows it any more, and an ordinary run is not disturbed by it.
TEST_F(UpdateOrchestrationTest, ARunStoppedHardIsCompletedByTheNextRun) {
    using enum CrashStep;
    // Staged name, client, the step, the client left there, whether the way back is registered, the
    // files left in the versioned folder (two of them beside its client).
    const std::tuple<const char*, Client, CrashStep, const char*, bool, std::ptrdiff_t> rows[] = {
        {"Staged-13.697", Plain, migrateAfterMove, "-", true, 2},
        {"Staged-13.697", Linked, symlinkSwapAfterUnlink, "-", true, 3},
        {"StagedKorvDesktop", Linked, revertAfterUnlink, "-", true, 3},
        {"StagedKorvDesktop", Linked, revertOldFolderRemoval, "old", false, 2},
        {"StagedKorvDesktop", Linked, revertOldFolderPartlyRemoved, "old", false, 1},
    };
    mConfig.set(config::Store::Ordinary, "app.mode", "normal", config::kScopeStatic);
    setCrashHook([](CrashStep step) {
        if (step == revertOldFolderRemoval && gStopAt == revertOldFolderPartlyRemoved) {
            crash::stopTheNextRemovalPartway();
        }
        if (step == gStopAt) {
            throw StoppedHard{};
        }
    });
    for (const auto& [stagedName, client, step, clientLeft, registered, filesLeft] : rows) {
        SCOPED_TRACE(static_cast<int>(step));
        const fs::Path root = fs::Path::fromUtf8("Korv-" + std::to_string(static_cast<int>(step)));
        const fs::Path versioned = mRoot / root / mVersionedClient.parent();
        mRoot.writeFile(versioned / L"DestagerTools\\KorvDestager.exe", "tool");
        mRoot.writeFile(versioned / L"readme.txt", "read me");
        const DestageContext context = prepareInstall(root, stagedName, client);
        gStopAt = step;
        EXPECT_THROW(apply(context), StoppedHard);
        EXPECT_EQ(std::pair(clientExeIn(context.clientPath), resumeRegistered()),
                  std::pair(std::string(clientLeft), registered));
        gStopAt.reset();
        EXPECT_EQ(apply(context), 0);
        EXPECT_EQ(std::pair(clientExeIn(context.clientPath), resumeRegistered()),
                  std::pair(std::string("new"), false));
        EXPECT_EQ(std::ranges::count_if(std::filesystem::recursive_directory_iterator(versioned.std()),
                                        [](const auto& entry) { return entry.is_regular_file(); }),
                  filesLeft);
        if (!registered) {  // the install was whole: the next run is an ordinary update
            EXPECT_EQ(std::pair(messagesAt(Warn), messagesAt(Error)),
                      std::pair(test::Texts{}, test::Texts{}));
        }
    }
    setCrashHook(nullptr);
}

// The program's own shortcut steps, with a file standing where every shortcut folder would be.
TEST_F(UpdateOrchestrationTest, ShortcutFailuresAreRecordedAsWarningsOfTheirStep) {
    WinUtils::ComInitializer com;
    const fs::Path occupied = mRoot.writeFile(L"occupied", "a file");
    foundation::setSpecialDirectoryRedirections(
        {{foundation::SpecialDirectory::commonDesktop, (occupied / L"Desktop").utf8()},
         {foundation::SpecialDirectory::commonProgramsShortcuts, (occupied / L"Programs").utf8()}});
    const UpdateSteps steps = internal::systemUpdateSteps();
    steps.createDesktopShortcut(DestagerOptions{.action = Action::Install});
    steps.createStartMenuShortcuts();
    steps.createAppRecoveryShortcut(DestageContext{.clientPath = occupied / L"Korv Desktop"});
    foundation::setSpecialDirectoryRedirections({});
    Calls recorded;
    for (const auto& record : decodeDestageErrors(mConfig.getString("machine.destageErrors", ""))) {
        recorded.push_back(record.fields.ecod + " " + record.fields.esev);
    }
    EXPECT_EQ(recorded, (Calls{"UPEC-2200 warning", "UPEC-2201 warning", "UPEC-2201 warning",
                               "UPEC-2201 warning", "UPEC-2201 warning", "UPEC-2206 warning"}));
}

constexpr int kPlain = -1;
constexpr const char* kValidate = "kvx::apps::tryValidateStagedFiles";

// The parameter: workers of the "global-io" queue, with which the validation before the swap is started
// early and reported later (kPlain: no queue). Each way logs and records the same.
class StagedFileValidationTest : public UpdateOrchestrationTest, public ::testing::WithParamInterface<int> {
protected:
    StagedFileValidationTest() {
        if (GetParam() != kPlain) {
            mConfig.set(config::Store::Ordinary, "app.workQueue.global-io.threadCount",
                        std::to_string(GetParam()), config::kScopeStatic);
            prepareWorkQueues(mConfig, {{"global-compute"}, {"global-io"}}, mWorkers);
        }
    }
    ~StagedFileValidationTest() override {
        if (GetParam() != kPlain) {
            shutdownWorkQueues(mWorkers);
        }
    }
    void restart() {
        std::filesystem::remove_all(mInstall.std());
        mRoot.makeFolder(mClient);
        mLogger->clear();
    }
    // Writes the archive and unpacks its regular files as they are.
    void stage(const std::vector<test::TestZipEntry>& entries) {
        auto zip = test::buildTestZip(entries);
        mRoot.writeFile(mZip, std::string(zip.bytes.begin(), zip.bytes.end()));
        for (const test::TestZipEntry& entry : entries) {
            if (entry.externalAttributes == test::kUnixRegularFile) {
                mRoot.writeFile(mStaged / fs::Path::fromUtf8(entry.name), entry.data);
            }
        }
    }
    // One validation's lines after its first, which names what is validated.
    Lines validate(bool destaged) {
        mLogger->clear();
        if (GetParam() != kPlain && !destaged) {
            apps::internal::EarlyValidation early(mClient, mZip, false);
            early.finishReading();
            mLockedWhileRead.reset();
            early.report();
        } else {
            mLockedWhileRead.reset();
            tryValidateStagedFiles(mClient, mZip, destaged);
        }
        Lines lines = mLogger->lines();  // but the workers' announcements of their start, which come late
        std::erase_if(lines,
                      [](const LoggedLine& line) { return line.message.starts_with("Thread started ["); });
        EXPECT_EQ(lines.at(0), (LoggedLine{Info, kValidate,
                                           "Validating contents of path[" + mClient.utf8() +
                                               "] against zip[" + mZip.utf8() + "]"}));
        lines.erase(lines.begin());
        return lines;
    }
    Calls reports(bool destaged) {
        Calls messages;
        for (const LoggedLine& line : validate(destaged)) {
            EXPECT_EQ(line.level, Warn);
            messages.push_back(line.message);
        }
        return messages;
    }

    const fs::Path mStaged = mInstall / L"StagedKorvDesktop";
    const fs::Path mClient = mStaged / L"Korv Desktop";
    const fs::Path mZip = mInstall / L"StagedKorvDesktop.zip";
    // Released once the files have been read, before they are reported.
    WinUtils::AutoHandle mLockedWhileRead;
    WorkerThreadManager mWorkers;
};

Calls missing(const std::string& code, Calls files) {
    for (std::string& file : files) {
        file = "UPEC-" + code + ": Staged file missing, file[" + file + "]";
    }
    return files;
}

// Before the swap 2215 and 2216, after it 2213 and 2214 (the destager's own skipped). Directories, links,
// empty files (CRC-32 0) and files that cannot be opened are not reported; five reports at most.
TEST_P(StagedFileValidationTest, MissingAndCorruptFilesAreReportedWithTheCodeOfTheStep) {
    std::vector<test::TestZipEntry> client{{"Korv Desktop/", "", test::kUnixDirectory},
                                           {"Korv Desktop/KorvDesktop.exe", std::string(3 << 20, 'k')},
                                           {"Korv Desktop/plugins/", "", test::kMsDosDirectory},
                                           {"Korv Desktop/plugins/net.dll", "network code"},
                                           {"Korv Desktop/current", "plugins", test::kUnixSymlink},
                                           {"Korv Desktop/empty.log", ""},
                                           {"Korv Desktop/readme.txt", "read me"},
                                           {"DestagerTools/KorvDestager.exe", "destager"}};
    Calls libs;
    for (int i = 0; i < 7; ++i) {
        libs.push_back("Korv Desktop/lib" + std::to_string(i) + ".dll");
        client.push_back({libs.back(), "content " + std::to_string(i)});
    }
    const Calls five(libs.begin(), libs.begin() + 5);
    // Files outside exist as archived, so only a refusal to look reports them; one name is no UTF-8.
    const Calls out{"Korv Desktop/../../outside.txt", (mInstall / L"outside.txt").std().generic_string(),
                    "Korv Desktop/bad\xff.txt"};
    const std::vector<test::TestZipEntry> leaving{
        {out[0], "outside"}, {out[1], "outside"}, {out[2], "x", 0x20}};
    // Entries, removed and changed files (maybe locked, for good or until the report, or throwing when
    // opened), reports before and after the swap. A lock gone by the report is looked through again.
    enum Resists { Opens, Locked, UntilReport, Throws };
    const Calls changedReadme{"UPEC-2216: Staged file corrupt, file[Korv Desktop/readme.txt]",
                              "UPEC-2214: Staged file corrupt, file[Korv Desktop/readme.txt]"};
    const std::tuple<std::vector<test::TestZipEntry>, Calls, std::string, Resists, Calls, Calls> rows[] = {
        {client,
         {"Korv Desktop/plugins/net.dll", "Korv Desktop/empty.log", "DestagerTools"},
         "Korv Desktop/readme.txt",
         Opens,
         {"UPEC-2215: Staged file missing, file[Korv Desktop/plugins/net.dll]", changedReadme[0],
          "UPEC-2215: Staged file missing, file[DestagerTools/KorvDestager.exe]"},
         {"UPEC-2213: Staged file missing, file[Korv Desktop/plugins/net.dll]", changedReadme[1]}},
        {client, {}, "Korv Desktop/readme.txt", Locked, {}, {}},
        {client, {}, "Korv Desktop/readme.txt", UntilReport, {changedReadme[0]}, {changedReadme[1]}},
        {client, {}, "Korv Desktop/readme.txt", Throws, {}, {}},
        {client, libs, "", Opens, missing("2215", five), missing("2213", five)},
        {leaving, {}, "", Opens, missing("2215", out), missing("2213", out)},
    };
    size_t reported = 0;
    int row = 0;
    for (const auto& [entries, removed, changedName, resists, before, after] : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << row++);
        restart();
        stage(entries);
        for (const std::string& name : removed) {
            std::filesystem::remove_all((mStaged / fs::Path::fromUtf8(name)).std());
        }
        const fs::Path changed = mStaged / fs::Path::fromUtf8(changedName);
        if (!changedName.empty()) {
            mRoot.writeFile(changed, "changed");
        }
        const bool locked = resists == Locked || resists == UntilReport;
        WinUtils::AutoHandle held(locked ? CreateFileW(changed.wide().c_str(), GENERIC_READ, 0, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                         : INVALID_HANDLE_VALUE);
        ASSERT_EQ(held.valid(), locked);
        if (resists == UntilReport) {
            mLockedWhileRead = std::move(held);
        }
        mFs->throwOnOpen(resists == Throws ? L"\\readme.txt" : L"");
        if (GetParam() != kPlain) {  // started early and never reported: says nothing
            apps::internal::EarlyValidation discarded(mClient, mZip, false);
        }
        EXPECT_TRUE(mLogger->linesContaining("Validating").empty());
        EXPECT_EQ(reports(false), before);
        EXPECT_EQ(reports(true), after);
        reported += before.size() + after.size();
    }
    EXPECT_EQ(decodeDestageErrors(mConfig.getString("machine.destageErrors", "")).size(), reported);
    if (GetParam() == 0) {  // without a worker nothing is queued
        EXPECT_EQ(foundation::getWorkQueue(foundation::getWorkQueueIndexByName("global-io"))->pendingCount(),
                  0u);
    }
}

// An archive that cannot be listed ends validation with one line.
TEST_P(StagedFileValidationTest, ArchivesThatCannotBeListedEndValidationWithOneLine) {
    const std::string zip = mZip.utf8();
    const LoggedLine unreadable{Error, kValidate, "Failed to read zip file[" + zip + "]"};
    const LoggedLine damaged{Error, kValidate,
                             "Failed to process zip file data, file[" + zip + "], error[ParseError]"};
    const auto archive = test::buildTestZip({{"Korv Desktop/missing.txt", "m"}});
    const std::string bytes(archive.bytes.begin(), archive.bytes.end());
    // The archive's bytes (none: no archive), its size (zeros after them), the line ending validation.
    const std::tuple<std::optional<std::string>, uint64_t, LoggedLine> rows[] = {
        {std::nullopt,
         0,
         {Info, kValidate, "Skipping validation, zip file does not exist at path[" + zip + "]"}},
        {"", 0, unreadable},
        {std::string(5000, 'z'), 5000, damaged},
        // Only the tail and directory are read, yet the size limit of a whole-archive read applies.
        {bytes, 524'288'000, damaged},
        {bytes, 524'288'001, unreadable},
    };
    for (const auto& [content, size, line] : rows) {
        SCOPED_TRACE(line.message);
        restart();
        if (content) {
            mRoot.writeFile(mZip, *content);
            std::filesystem::resize_file(mZip.std(), size);  // sparse
        }
        EXPECT_EQ(validate(false), Lines{line});
    }
    EXPECT_FALSE(mConfig.contains("machine.destageErrors"));
    // A check that throws while the archive is read counts as damage.
    mRoot.writeFile(mZip, bytes);
    mFs->throwOnOpen(L".zip");
    EXPECT_EQ(validate(false),
              (Lines{{Error, kValidate,
                      "Failed to process zip file data, file[" + zip + "], error[UnexpectedException]"}}));
}

// With the io workers at work, the validations fall between the repair state, the swap and the refresh;
// a repair state that fails says neither.
TEST_P(StagedFileValidationTest, ValidationsTakeTheirPlaceInTheUpdate) {
    stage({{"Korv Desktop/KorvDesktop.exe", "new"}});
    mRoot.writeFile(mInstall / L"Korv Desktop\\KorvDesktop.exe", "old");
    const std::string staged = "Validating contents of path[" + mClient.utf8() + "]";
    const std::string live = "Validating contents of path[" + (mInstall / L"Korv Desktop").utf8() + "]";
    const std::tuple<int32_t, Calls> rows[] = {
        {8, {"setSuiteUnavailable", "enterRepairState", "Failed to enter repair state, code[8]"}},
        {0,
         {"setSuiteUnavailable", "enterRepairState", staged, "Swapping in staged folder", live,
          "updateBackgroundServiceConfig", "updateUninstallStrings", "updateUninstallEntries",
          "createDesktopShortcut", "createStartMenuShortcuts", "createAppRecoveryShortcut"}},
    };
    for (const auto& [code, order] : rows) {
        mRepairStateCode = code;
        EXPECT_EQ(apply(buildDestageContext(mInstall, mClient / L"KorvDestager.exe", 7)), code);
        Calls said;  // the steps, and the lines of the update that tell where it is
        for (const LoggedLine& line : mLogger->lines()) {
            const std::string text = line.message.substr(0, line.message.find(" against zip["));
            if (std::ranges::count(kFullUpdate, text) || text.starts_with("Validating") ||
                text.starts_with("Swapping in") || text.starts_with("Failed to enter")) {
                said.push_back(text);
            }
        }
        EXPECT_EQ(said, order);
    }
}

INSTANTIATE_TEST_SUITE_P(IoWorkers, StagedFileValidationTest, ::testing::Values(kPlain, 6, 1, 0));

}  // namespace
}  // namespace kvx::apps::destager
