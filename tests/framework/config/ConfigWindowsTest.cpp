#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/registry/RegistryKey.h"
#include "framework/config/RccContainer.h"
#include "framework/config/WindowsConfigPlatform.h"

namespace kvx::apps {
namespace {

// Wine's registry is real enough for the app key; the test removes the value it writes.
TEST(FlintKey, NonZeroValueInThe64BitViewRequestsFlint) {
    foundation::RegistryKey key64(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", true, true);
    foundation::RegistryKey key32(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", false, true);
    key64.deleteValue("FlintMode");
    EXPECT_FALSE(readFlintModeFromRegistry());
    ASSERT_TRUE(key64.set("FlintMode", uint32_t{2}));
    EXPECT_TRUE(readFlintModeFromRegistry());
    ASSERT_TRUE(key64.set("FlintMode", uint32_t{0}));
    EXPECT_FALSE(readFlintModeFromRegistry());
    key64.deleteValue("FlintMode");
    ASSERT_TRUE(key32.set("FlintMode", uint32_t{1}));
    EXPECT_FALSE(readFlintModeFromRegistry());
    key32.deleteValue("FlintMode");
}

// With no certificate shipped the platform says no; an unparseable one is no better.
TEST(WindowsConfigPlatform, FilesAndCertificates) {
    resources::ResourceManager resources;
    const ConfigPlatform platform = makeWindowsConfigPlatform(resources);
    EXPECT_EQ(platform.executableName(), "config_windows_tests.exe");
    EXPECT_FALSE(platform.developerCertificateTrusted());
    ASSERT_TRUE(resources
                    .addRccData(resources::buildRcc({{"certs/ca.crt", "not a certificate"},
                                                     {"certs/debug.crt", "x"},
                                                     {"certs/debug-intermediate.crt", "y"}}))
                    .isOk());
    EXPECT_FALSE(platform.developerCertificateTrusted());

    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::filesystem::path file = std::wstring(temp) + L"kvx_cfg_platform.cfg";
    std::ofstream(file, std::ios::binary) << "a = 1\r\n";
    EXPECT_TRUE(platform.fileExists(file.string()));  // the temp folder is ASCII under Wine
    EXPECT_EQ(platform.readFile(file.string()).unwrap(), "a = 1\r\n");
    std::filesystem::remove(file);
    EXPECT_FALSE(platform.fileExists(file.string()));
    EXPECT_EQ(platform.readFile(file.string()).unwrapError().rfind("File does not exist. errorCode[2]", 0),
              0u);
}

}  // namespace
}  // namespace kvx::apps
