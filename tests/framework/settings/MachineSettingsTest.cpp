// Under Wine with ProgramData redirected into a fresh temporary folder; real files throughout.
#include "framework/settings/MachineSettings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Singleton.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/paths/TamrinUtils.h"
#include "foundation/win/AutoHandle.h"
#include "framework/config/ConfigSystem.h"
#include "framework/settings/SpecialDirectoryConfig.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::domain::settings::machine {
namespace {

using config::ConfigSystem;
using config::kScopeMachine;
using config::kScopeStatic;
using config::Store;
using foundation::utils::Singleton;
using services::logging::Debug;
using services::logging::Error;
using services::logging::Info;

constexpr const char* kLoadFunction = "kvx::domain::settings::machine::loadMachineSettingsFromFile";
constexpr const char* kSaveFunction = "kvx::domain::settings::machine::saveMachineSettingsToFile";

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class MachineSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(mRoot / "Korv Desktop");
        startRun();
    }
    void TearDown() override {
        endRun();
        foundation::setSpecialDirectoryRedirections({});
    }

    // One program run: a fresh configuration whose static part redirects ProgramData.
    void startRun() {
        Singleton<ConfigSystem>::create();
        config().set(Store::Ordinary, "qa.specialDirectory.programData", mRoot.string(), kScopeStatic);
        foundation::registerSpecialDirectoryRedirections();
    }

    void endRun() {
        if (Singleton<ConfigSystem>::exists()) {
            Singleton<ConfigSystem>::destroy();
        }
    }

    static ConfigSystem& config() { return config::configSystem(); }
    std::filesystem::path iniPath() const { return mRoot / "Korv Desktop" / "machine.ini"; }

    void writeIni(const std::string& content) const {
        std::ofstream out(iniPath(), std::ios::binary | std::ios::trunc);
        out << content;
    }

    std::string readIni() const {
        std::ifstream in(iniPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test::TempFolder mTemp;
    const std::filesystem::path mRoot = mTemp.path().std();
    test::ScopedCapturingLogger mLog;
};

TEST_F(MachineSettingsTest, MissingFileLogsKindOneThenNothingLoaded) {
    loadMachineSettingsToConfigSys();
    const auto lines = mLog->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, Error);
    EXPECT_EQ(lines[0].function, kLoadFunction);
    EXPECT_EQ(
        lines[0].message.rfind("Failed to load machine ini file, error[File does not exist. errorCode[", 0),
        0u)
        << lines[0].message;
    EXPECT_EQ(lines[1],
              (test::LoggedLine{Info, "kvx::domain::settings::machine::loadMachineSettingsToConfigSys",
                                "No machine settings are loaded"}));
    EXPECT_TRUE(config().filterByScope(kScopeMachine).empty());
}

TEST_F(MachineSettingsTest, EmptyFileIsAnErrorOfItsOwn) {
    writeIni("");
    EXPECT_TRUE(loadMachineSettingsFromFile().empty());
    EXPECT_EQ(mLog->linesContaining("Failed to load machine ini file"),
              (std::vector<test::LoggedLine>{
                  {Error, kLoadFunction, "Failed to load machine ini file, error[File is empty]"}}));
}

// The line grammar itself is the ini reader's (KVPsIni); here the file goes through it with "=" and
// line feeds as separators and comments stripped, and only "machine." keys (any case) enter.
TEST_F(MachineSettingsTest, OnlyMachineKeysOfTheIniGrammarEnterAndSurviveTheNextSave) {
    writeIni(
        "machine.MixedCase=1\r\nMachine.upper=2\nother.key=3\n# machine.c=3\nmachine.d=5 // machine.e=6\n"
        "machine.keep=four\nmachine.keep=k=v");
    loadMachineSettingsToConfigSys();
    EXPECT_EQ(config().filterByScope(kScopeMachine).size(), 3u);
    EXPECT_EQ(config().getString("machine.mixedcase", "<none>"), "1");
    EXPECT_EQ(config().getString("machine.d", "<none>"), "5");
    EXPECT_EQ(config().getString("machine.keep", "<none>"), "k=v");

    saveMachineSettingsToFile(config().filterByScope(kScopeMachine));
    const std::string text = readIni();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // no trailing line feed
    EXPECT_EQ(sortedLines(text),
              (std::vector<std::string>{"machine.d=5", "machine.keep=k=v", "machine.mixedcase=1"}));
    EXPECT_EQ(
        mLog->linesContaining("write"),
        (std::vector<test::LoggedLine>{{Debug, kSaveFunction, "Successful write to machine.ini file"}}));

    saveMachineSettingsToFile(KVPs{});
    EXPECT_TRUE(std::filesystem::exists(iniPath()));
    EXPECT_EQ(std::filesystem::file_size(iniPath()), 0u);
}

TEST_F(MachineSettingsTest, WriteThroughRewritesOnEveryMachineScopeSet) {
    registerMachineSettingsWriteThrough();
    config().set(Store::Ordinary, "machine.first", "1", kScopeMachine);
    EXPECT_EQ(readIni(), "machine.first=1");
    config().setUInt64(Store::Ordinary, "machine.second", 2, kScopeMachine);
    EXPECT_EQ(sortedLines(readIni()), (std::vector<std::string>{"machine.first=1", "machine.second=2"}));
    config().set(Store::Ordinary, "machine.first", "3", kScopeMachine);
    EXPECT_EQ(sortedLines(readIni()), (std::vector<std::string>{"machine.first=3", "machine.second=2"}));

    std::filesystem::remove(iniPath());
    config().set(Store::Ordinary, "app.notMachine", "x", kScopeStatic);
    EXPECT_FALSE(std::filesystem::exists(iniPath()));
    EXPECT_EQ(mLog->linesContaining("Successful write to machine.ini file").size(), 3u);
}

TEST_F(MachineSettingsTest, FailedWriteKeepsValuesForTheNextSave) {
    registerMachineSettingsWriteThrough();
    config().set(Store::Ordinary, "machine.before", "1", kScopeMachine);
    {
        const WinUtils::AutoHandle held(
            CreateFileW(iniPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        config().set(Store::Ordinary, "machine.during", "2", kScopeMachine);
    }
    const auto failures = mLog->linesContaining("Failed to write machine.ini file");
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures.back().level, Error);
    EXPECT_EQ(failures.back().function, kSaveFunction);
    EXPECT_EQ(failures.back().message.rfind("Failed to write machine.ini file, error[32] attr=[", 0), 0u)
        << failures.back().message;
    EXPECT_EQ(readIni(), "machine.before=1");

    config().set(Store::Ordinary, "machine.after", "3", kScopeMachine);
    EXPECT_EQ(sortedLines(readIni()),
              (std::vector<std::string>{"machine.after=3", "machine.before=1", "machine.during=2"}));
}

TEST_F(MachineSettingsTest, MissingFolderFailsTheWrite) {
    std::filesystem::remove_all(mRoot / "Korv Desktop");
    saveMachineSettingsToFile(KVPs{});
    const auto failures = mLog->linesContaining("Failed to write machine.ini file, error[3] attr=[");
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(mRoot / "Korv Desktop"));
}

TEST_F(MachineSettingsTest, TwoRunsAccumulate) {
    loadMachineSettingsToConfigSys();
    registerMachineSettingsWriteThrough();
    config().set(Store::Ordinary, "machine.firstRun", "1", kScopeMachine);
    endRun();

    startRun();
    loadMachineSettingsToConfigSys();
    EXPECT_EQ(config().getString("machine.firstrun", ""), "1");
    registerMachineSettingsWriteThrough();
    config().setBool(Store::Ordinary, "machine.secondRun", true, kScopeMachine);
    EXPECT_EQ(sortedLines(readIni()),
              (std::vector<std::string>{"machine.firstrun=1", "machine.secondrun=1"}));
}

}  // namespace
}  // namespace kvx::domain::settings::machine
