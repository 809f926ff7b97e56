#include <gtest/gtest.h>

#include "integration/AppKey.h"
#include "integration/InstallLocation.h"
#include "process/ProcessTestSupport.h"
#include "support/Capture.h"

namespace kvx::apps {
namespace {

TEST(InstallLocation, ComesFromTheAppKeyElseFromTheService) {
    {
        test::ScopedInstallLocation location(L"C:\\Games\\Korv Desktop\\");
        EXPECT_EQ(utils::getInstallLocation(), "C:\\Games\\Korv Desktop\\");
        EXPECT_TRUE(openAppKey(false, true).isValid());
        EXPECT_FALSE(openAppKey(false, true).set("InstallLocation", "read-only key"));
    }
    // No value and no background service registered here.
    test::ScopedCapturingLogger logger;
    EXPECT_EQ(utils::getInstallLocation(), "");
    EXPECT_EQ(logger->linesContaining("Failed to get install location from BGS service, Service not present").size(), 1u);
}

}  // namespace
}  // namespace kvx::apps
