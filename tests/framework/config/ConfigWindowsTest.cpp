#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/registry/RegistryKey.h"
#include "framework/config/RccContainer.h"
#include "framework/config/WindowsConfigPlatform.h"

namespace kvx::apps {
namespace {

// Wine's registry is real enough for the app key; the test restores what it changes.
class FlintKey : public ::testing::Test {
protected:
    void TearDown() override { appKey().deleteValue("FlintMode"); }
    static foundation::RegistryKey appKey() {
        return foundation::RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", true, true);
    }
};

TEST_F(FlintKey, NonZeroValueRequestsFlint) {
    appKey().deleteValue("FlintMode");
    EXPECT_FALSE(readFlintModeFromRegistry());
    ASSERT_TRUE(appKey().set("FlintMode", uint32_t{2}));
    EXPECT_TRUE(readFlintModeFromRegistry());
    ASSERT_TRUE(appKey().set("FlintMode", uint32_t{0}));
    EXPECT_FALSE(readFlintModeFromRegistry());
    // Written in the 32-bit view only: the program reads the 64-bit one.
    foundation::RegistryKey key32(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", false, true);
    ASSERT_TRUE(key32.set("FlintMode", uint32_t{1}));
    EXPECT_FALSE(readFlintModeFromRegistry());
    key32.deleteValue("FlintMode");
}

// With nothing shipped the platform below says no; an unparseable certificate is no better.
TEST(DeveloperCertificate, UnparseableIsNotTrusted) {
    resources::ResourceManager garbage;
    ASSERT_TRUE(garbage
                    .addRccData(resources::buildRcc({{"certs/ca.crt", "not a certificate"},
                                                     {"certs/debug.crt", "x"},
                                                     {"certs/debug-intermediate.crt", "y"}}))
                    .isOk());
    EXPECT_FALSE(developerCertificateTrusted(garbage));
}

TEST(WindowsConfigPlatform, FilesAndExecutableName) {
    resources::ResourceManager resources;
    const ConfigPlatform platform = makeWindowsConfigPlatform(resources);
    EXPECT_EQ(platform.developerFolder, "C:\\KorvDesktopDev\\");
    EXPECT_EQ(platform.executableName(), "config_windows_tests.exe");
    EXPECT_FALSE(platform.developerCertificateTrusted());

    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring wide = std::wstring(temp) + L"kvx_cfg_platform.cfg";
    const std::string path(wide.begin(), wide.end());  // the temp folder is ASCII under Wine
    {
        std::ofstream out(std::filesystem::path(wide), std::ios::binary);
        out << "a = 1\r\n";
    }
    EXPECT_TRUE(platform.fileExists(path));
    EXPECT_EQ(platform.readFile(path).unwrap(), "a = 1\r\n");
    DeleteFileW(wide.c_str());
    EXPECT_FALSE(platform.fileExists(path));
    const std::string error = platform.readFile(path).unwrapError();
    EXPECT_EQ(error.rfind("File does not exist. errorCode[2]", 0), 0u) << error;
}

}  // namespace
}  // namespace kvx::apps
