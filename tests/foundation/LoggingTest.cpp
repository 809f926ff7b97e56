#include "foundation/Logging.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx {
namespace {

using services::logging::reduceFunctionName;

// The log file names each line's function by the compiler's signature reduced to its qualified name
// (a name already reduced, and one in an anonymous namespace, are the log calls' own below).
TEST(FunctionName, ReducedToTheQualifiedName) {
    EXPECT_EQ(reduceFunctionName("int __cdecl kvx::apps::app_main(int, char **)"), "kvx::apps::app_main");
    EXPECT_EQ(
        reduceFunctionName("kvx::Result<bool, unsigned int> kvx::fs::Filesystem::exists(const Path&) const"),
        "kvx::fs::Filesystem::exists");
    EXPECT_EQ(reduceFunctionName("**kvx::f"), "kvx::f");
    EXPECT_EQ(reduceFunctionName("void kvx::g() [with T = int]"), "kvx::g");
}

TEST(LogCall, CarriesLevelFunctionAndTextAndReportsBadFormatArguments) {
    KVX_LOG_INFO("nobody hears {}", 1);
    test::ScopedCapturingLogger logger;
    KVX_LOG_WARN("path[{}] code[{}]", "C:\\x", 5);
    KVX_LOG_AS("kvx::apps::logFileIoFailure", services::logging::Warn, "attempt[{}]", 3);
    // A width taken from an argument is checked only at run time.
    KVX_LOG_ERROR("{:{}}", "x", -1);
    const auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (test::LoggedLine{
                            services::logging::Warn,
                            "kvx::(anonymous namespace)::"
                            "LogCall_CarriesLevelFunctionAndTextAndReportsBadFormatArguments_Test::TestBody",
                            "path[C:\\x] code[5]"}));
    EXPECT_EQ(lines[1].function, "kvx::apps::logFileIoFailure");
    EXPECT_TRUE(lines[2].message.starts_with(
        "[ERROR] LOG or ASSERT may have an invalid format or arguments: fmt[{:{}}], exception["))
        << lines[2].message;
}

}  // namespace
}  // namespace kvx
