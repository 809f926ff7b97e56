// machine.ini and the special-path service under Wine, on real files in a fresh temporary folder; the
// Windows sources of the start-up configuration.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/Singleton.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/paths/TamrinUtils.h"
#include "foundation/registry/RegistryKey.h"
#include "foundation/win/AutoHandle.h"
#include "framework/config/ConfigSystem.h"
#include "framework/config/RccContainer.h"
#include "framework/config/WindowsConfigPlatform.h"
#include "framework/settings/MachineSettings.h"
#include "framework/settings/SpecialDirectoryConfig.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::foundation {
namespace {

using namespace domain::settings::machine;
using config::kScopeMachine;
using config::Store;
using services::logging::Error;
using services::logging::Info;
using test::LoggedLine;
using Logged = std::vector<LoggedLine>;
using Pairs = std::map<std::string, std::string>;

constexpr const char* kLoadFunction = "kvx::domain::settings::machine::loadMachineSettingsFromFile";
constexpr const char* kSaveFunction = "kvx::domain::settings::machine::saveMachineSettingsToFile";
constexpr const char* kLoadToConfigFunction =
    "kvx::domain::settings::machine::loadMachineSettingsToConfigSys";

// The message need only start with the expected one: the rest names a system error.
void expectLineStart(LoggedLine line, const LoggedLine& expected) {
    line.message.resize(std::min(line.message.size(), expected.message.size()));
    EXPECT_EQ(line, expected);
}

// One program run: a fresh configuration that redirects ProgramData into the temporary folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        utils::Singleton<config::ConfigSystem>::create();
        std::filesystem::create_directories(mIni.parent_path());
        redirect("programData", mRoot);
    }
    void TearDown() override {
        utils::Singleton<config::ConfigSystem>::destroy();
        setSpecialDirectoryRedirections({});
    }
    static config::ConfigSystem& config() { return config::configSystem(); }
    static void redirect(const std::string& name, const std::string& path) {
        config().set(Store::Ordinary, "qa.specialDirectory." + name, path, config::kScopeStatic);
        registerSpecialDirectoryRedirections();
    }
    static std::string localAppData(std::string_view folder, std::string_view file, bool create = false) {
        return tamrinUtils().getSpecialPathVerbose(SpecialDirectory::localAppData, folder, file, create,
                                                   nullptr);
    }
    void writeIni(const std::string& content) const { std::ofstream(mIni, std::ios::binary) << content; }
    std::string readIni() const {
        std::ifstream in(mIni, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static Pairs iniPairs() {
        const KVPs pairs = loadMachineSettingsFromFile();
        return {pairs.begin(), pairs.end()};
    }

    test::TempFolder mTemp;
    const std::string mRoot = mTemp.path().utf8();
    const std::filesystem::path mIni = mRoot + "\\Korv Desktop\\machine.ini";
    test::ScopedCapturingLogger mLog;
};

// A missing or empty file loads nothing; only "machine." keys enter (byte compared), and a save writes one
// a line, without a final line feed. Untrusted (its folder never protected), a file is never read, only
// named.
TEST_F(SettingsTest, OnlyMachineKeysOfAFileEnterAndSurviveTheNextSave) {
    const LoggedLine none{Info, kLoadToConfigFunction, "No machine settings are loaded"};
    loadMachineSettingsToConfigSys(true);
    const auto lines = mLog->lines();
    ASSERT_EQ(lines.size(), 2u);
    expectLineStart(lines[0], {Error, kLoadFunction,
                               "Failed to load machine ini file, error[File does not exist. errorCode["});
    EXPECT_EQ(lines[1], none);
    mLog->clear();
    writeIni("");
    EXPECT_TRUE(loadMachineSettingsFromFile().empty());
    EXPECT_EQ(mLog->lines(),
              (Logged{{Error, kLoadFunction, "Failed to load machine ini file, error[File is empty]"}}));

    mLog->clear();
    writeIni("machine.MixedCase=1\r\nMachine.upper=2\nother.key=3\nmachine.keep=k=v");
    loadMachineSettingsToConfigSys(false);
    const std::string warning = "Ignoring [" + tamrinUtils().getMachineSettingsPath() +
                                "]: the data folder was never protected, so a user could have planted it";
    EXPECT_EQ(mLog->lines(), (Logged{{services::logging::Warn, kLoadToConfigFunction, warning}, none}));
    EXPECT_TRUE(config().filterByScope(kScopeMachine).empty());
    mLog->clear();
    loadMachineSettingsToConfigSys(true);
    saveMachineSettingsToFile(config().filterByScope(kScopeMachine));
    const std::string text = readIni();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(iniPairs(), (Pairs{{"machine.keep", "k=v"}, {"machine.mixedcase", "1"}}));
    EXPECT_EQ(mLog->linesContaining("write"),
              (Logged{{services::logging::Debug, kSaveFunction, "Successful write to machine.ini file"}}));
}

// A write that fails (the file held open, the folder gone) is logged; the next one catches up.
TEST_F(SettingsTest, WriteThroughAndAFailedWrite) {
    registerMachineSettingsWriteThrough();
    config().set(Store::Ordinary, "machine.before", "1", kScopeMachine);
    EXPECT_EQ(readIni(), "machine.before=1");
    {
        const WinUtils::AutoHandle held(
            CreateFileW(mIni.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        config().setUInt64(Store::Ordinary, "machine.during", 2, kScopeMachine);
    }
    const auto failures = mLog->linesContaining("Failed to write machine.ini file");
    ASSERT_EQ(failures.size(), 1u);
    expectLineStart(failures[0],
                    {Error, kSaveFunction, "Failed to write machine.ini file, error[32] attr=["});
    EXPECT_EQ(readIni(), "machine.before=1");

    config().set(Store::Ordinary, "machine.before", "3", kScopeMachine);
    EXPECT_EQ(iniPairs(), (Pairs{{"machine.before", "3"}, {"machine.during", "2"}}));
    std::filesystem::remove_all(mIni.parent_path());
    config().set(Store::Ordinary, "app.notMachine", "x", config::kScopeStatic);  // no write, so no failure
    config().set(Store::Ordinary, "machine.after", "4", kScopeMachine);
    EXPECT_EQ(mLog->count("Failed to write machine.ini file, error[3] attr=["), 1u);
    EXPECT_FALSE(std::filesystem::exists(mIni.parent_path()));
}

// A redirection ending in a backslash gets no second one; a folder that cannot be made still gives its
// path, a directory that cannot be resolved none.
TEST_F(SettingsTest, RedirectedFoldersJoinPartsAndCreateFoldersAndFailuresAreLogged) {
    redirect("programFilesCommon", "X:\\");
    redirect("temp", "T:\\elsewhere");
    redirect("temp", "");
    EXPECT_FALSE(specialDirectoryRedirection(SpecialDirectory::programFilesCommon).has_value());
    EXPECT_FALSE(specialDirectoryRedirection(SpecialDirectory::temp).has_value());
    redirect("programData", mRoot + "\\");
    redirect("localAppData", mRoot);
    EXPECT_EQ(tamrinUtils().getMachineSettingsPath(), mRoot + "\\Korv Desktop\\machine.ini");
    EXPECT_EQ(localAppData("a/", "f.txt"), mRoot + "\\a/f.txt");
    EXPECT_EQ(localAppData("", "f.txt"), mRoot + "\\f.txt");
    EXPECT_FALSE(std::filesystem::exists(mRoot + "\\x"));

    const fs::Path created =
        tamrinPathConstructorHelper(SpecialDirectory::localAppData, "x\\y", "z.ini", true);
    EXPECT_EQ(created.utf8(), mRoot + "\\x\\y\\z.ini");
    EXPECT_TRUE(std::filesystem::is_directory(mRoot + "\\x\\y"));
    EXPECT_TRUE(mLog->lines().empty());

    std::ofstream(mRoot + "\\file").put('x');
    redirect("localAppData", mRoot + "\\file");
    EXPECT_EQ(localAppData("sub", "f", true), mRoot + "\\file\\sub\\f");
    EXPECT_EQ(mLog->count("create folder error: type=[24] code=["), 1u);

    mLog->clear();
    EXPECT_EQ(tamrinUtils().getSpecialPathVerbose(SpecialDirectory::devScratch, "a", "b", false, nullptr),
              "");
    const auto lines = mLog->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].message, "There was a problem getting the directory location for specialDirectory=12");
    expectLineStart(lines[1], {Error, "kvx::foundation::TamrinUtilsImpl::getSpecialPathVerbose",
                               "Failed to get path, error["});

    mLog->clear();
    EXPECT_TRUE(tamrinPathConstructorHelper(SpecialDirectory::none, "a", "b", false).empty());
    const auto warnings = mLog->linesContaining("path construction failed: ");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].level, services::logging::Warn);
}

// Wine's registry is real enough for the app key; the test removes the value it writes.
TEST(FlintKey, NonZeroValueInThe64BitViewRequestsFlint) {
    const std::tuple<bool, uint32_t, bool> rows[] = {{true, 2, true}, {true, 0, false}, {false, 1, false}};
    EXPECT_FALSE(apps::readFlintModeFromRegistry());
    for (const auto& [view64, value, flint] : rows) {
        foundation::RegistryKey key(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", view64, true);
        ASSERT_TRUE(key.set("FlintMode", value));
        EXPECT_EQ(apps::readFlintModeFromRegistry(), flint) << view64 << " " << value;
        key.deleteValue("FlintMode");
    }
}

// With no certificate shipped the platform says no; an unparseable one is no better.
TEST(WindowsConfigPlatform, ExecutableAndCertificates) {
    resources::ResourceManager resources;
    const apps::ConfigPlatform platform = apps::makeWindowsConfigPlatform(resources);
    EXPECT_EQ(platform.executableName(), "machine_settings_tests.exe");
    EXPECT_FALSE(platform.developerCertificateTrusted());
    ASSERT_TRUE(resources
                    .addRccData(resources::buildRcc({{"certs/ca.crt", "not a certificate"},
                                                     {"certs/debug.crt", "x"},
                                                     {"certs/debug-intermediate.crt", "y"}}))
                    .isOk());
    EXPECT_FALSE(platform.developerCertificateTrusted());
}

}  // namespace
}  // namespace kvx::foundation
