#include "framework/errors/CrashReport.h"

#include <gtest/gtest.h>

namespace kvx::foundation {
namespace {

TEST(CrashReportTest, IdentifierNamesTheKindAndThePlace) {
    EXPECT_EQ(crashIdentifier({0xC0000005u, 0x7ff61a2b, "KorvDestager.exe", 0x1a2b, 1}),
              "05-KorvDestager.exe+1a2b");
    EXPECT_EQ(crashIdentifier({0xC00000FDu, 0xdead0, "", 0, 1}), "FD-dead0");
}

}  // namespace
}  // namespace kvx::foundation
