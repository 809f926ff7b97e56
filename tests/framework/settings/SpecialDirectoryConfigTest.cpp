// Redirections registered from the configuration (portable: runs under the sanitizers too).
#include "framework/settings/SpecialDirectoryConfig.h"

#include <gtest/gtest.h>

#include "foundation/Singleton.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::foundation {
namespace {

using config::ConfigSystem;
using utils::Singleton;

class SpecialDirectoryConfigTest : public ::testing::Test {
protected:
    void SetUp() override { Singleton<ConfigSystem>::create(); }
    void TearDown() override {
        Singleton<ConfigSystem>::destroy();
        setSpecialDirectoryRedirections({});
    }
    static void redirect(const std::string& name, const std::string& path) {
        config::configSystem().set(config::Store::Ordinary, "qa.specialDirectory." + name, path,
                                   config::kScopeStatic);
    }
};

TEST_F(SpecialDirectoryConfigTest, NonEmptyKeysRegisterAndReplaceEarlierRedirections) {
    redirect("programData", "P:\\data");
    redirect("temp", "T:\\elsewhere");
    redirect("savedGames", "");
    redirect("programFilesCommon", "X:\\");  // that directory has no configuration name
    registerSpecialDirectoryRedirections();
    EXPECT_EQ(specialDirectoryRedirection(SpecialDirectory::programData), "P:\\data");
    EXPECT_EQ(specialDirectoryRedirection(SpecialDirectory::temp), "T:\\elsewhere");
    EXPECT_FALSE(specialDirectoryRedirection(SpecialDirectory::savedGames).has_value());
    EXPECT_FALSE(specialDirectoryRedirection(SpecialDirectory::programFilesCommon).has_value());

    redirect("temp", "");
    registerSpecialDirectoryRedirections();
    EXPECT_FALSE(specialDirectoryRedirection(SpecialDirectory::temp).has_value());
    EXPECT_EQ(specialDirectoryRedirection(SpecialDirectory::programData), "P:\\data");
}

TEST(SpecialDirectoryNames, ConfigurationKeys) {
    EXPECT_EQ(specialDirectoryConfigKey(SpecialDirectory::programData), "qa.specialDirectory.programData");
    EXPECT_EQ(specialDirectoryConfigKey(SpecialDirectory::OperatingSystemTrash),
              "qa.specialDirectory.OperatingSystemTrash");
    EXPECT_EQ(specialDirectoryConfigKey(SpecialDirectory::documents), "qa.specialDirectory.documents");
    EXPECT_FALSE(specialDirectoryConfigKey(SpecialDirectory::programFilesCommon).has_value());
    EXPECT_FALSE(specialDirectoryConfigKey(static_cast<SpecialDirectory>(29)).has_value());
    EXPECT_TRUE(isKnownFolder(SpecialDirectory::programFiles));
    EXPECT_TRUE(isKnownFolder(SpecialDirectory::documents));
    EXPECT_FALSE(isKnownFolder(SpecialDirectory::downloadData));
}

}  // namespace
}  // namespace kvx::foundation
