#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/registry/RegistryKey.h"
#include "framework/config/RccContainer.h"
#include "framework/config/WindowsConfigPlatform.h"

namespace kvx::apps {
namespace {

// Wine's registry is real enough for the app key; the test removes the value it writes.
TEST(FlintKey, NonZeroValueInThe64BitViewRequestsFlint) {
    const std::tuple<bool, uint32_t, bool> rows[] = {{true, 2, true}, {true, 0, false}, {false, 1, false}};
    EXPECT_FALSE(readFlintModeFromRegistry());
    for (const auto& [view64, value, flint] : rows) {
        foundation::RegistryKey key(HKEY_LOCAL_MACHINE, "Software\\Tessory\\Korv Desktop", view64, true);
        ASSERT_TRUE(key.set("FlintMode", value));
        EXPECT_EQ(readFlintModeFromRegistry(), flint) << view64 << " " << value;
        key.deleteValue("FlintMode");
    }
}

// With no certificate shipped the platform says no; an unparseable one is no better.
TEST(WindowsConfigPlatform, ExecutableAndCertificates) {
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
}

}  // namespace
}  // namespace kvx::apps
