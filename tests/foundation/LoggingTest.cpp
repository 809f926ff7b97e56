#include "foundation/Logging.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx {
namespace {

using services::logging::reduceFunctionName;

TEST(FunctionName, ReducedToTheQualifiedName) {
    EXPECT_EQ(reduceFunctionName("int __cdecl kvx::apps::app_main(int, char **)"), "kvx::apps::app_main");
    EXPECT_EQ(
        reduceFunctionName("kvx::Result<bool, unsigned int> kvx::fs::Filesystem::exists(const Path&) const"),
        "kvx::fs::Filesystem::exists");
    EXPECT_EQ(reduceFunctionName("void kvx::(anonymous namespace)::helper(int)"),
              "kvx::(anonymous namespace)::helper");
    EXPECT_EQ(reduceFunctionName("**kvx::f"), "kvx::f");
    EXPECT_EQ(reduceFunctionName("void kvx::g() [with T = int]"), "kvx::g");
}

// With no logger a call is dropped; a width taken from an argument is checked only at run time.
TEST(LogCall, NamesTheGivenFunctionAndReportsBadFormatArguments) {
    KVX_LOG_INFO("nobody hears {}", 1);
    test::ScopedCapturingLogger logger;
    KVX_LOG_AS("kvx::apps::logFileIoFailure", services::logging::Warn, "attempt[{}]", 3);
    KVX_LOG_ERROR("{:{}}", "x", -1);
    const auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              (test::LoggedLine{services::logging::Warn, "kvx::apps::logFileIoFailure", "attempt[3]"}));
    EXPECT_TRUE(lines[1].message.starts_with(
        "[ERROR] LOG or ASSERT may have an invalid format or arguments: fmt[{:{}}], exception["))
        << lines[1].message;
}

}  // namespace
}  // namespace kvx
