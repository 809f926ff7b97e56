#include "foundation/Logging.h"

#include <gtest/gtest.h>

#include "support/Capture.h"

namespace kvx {
namespace {

using services::logging::reduceFunctionName;

TEST(FunctionName, ReducedToTheQualifiedName) {
    EXPECT_EQ(reduceFunctionName("kvx::apps::destager::internal::swapFolders"),
              "kvx::apps::destager::internal::swapFolders");
    EXPECT_EQ(reduceFunctionName("int __cdecl kvx::apps::app_main(int, char **)"), "kvx::apps::app_main");
    EXPECT_EQ(reduceFunctionName("kvx::Result<bool, unsigned int> kvx::fs::Filesystem::exists(const Path&) const"),
              "kvx::fs::Filesystem::exists");
    EXPECT_EQ(reduceFunctionName("void kvx::(anonymous namespace)::helper(int)"),
              "kvx::(anonymous namespace)::helper");
    EXPECT_EQ(reduceFunctionName("**kvx::f"), "kvx::f");
    EXPECT_EQ(reduceFunctionName("void kvx::g() [with T = int]"), "kvx::g");
}

int formatCalls = 0;
struct CountingArg {};

}  // namespace
}  // namespace kvx

template <>
struct fmt::formatter<kvx::CountingArg> : fmt::formatter<std::string_view> {
    auto format(const kvx::CountingArg&, fmt::format_context& ctx) const {
        ++kvx::formatCalls;
        return fmt::formatter<std::string_view>::format("counted", ctx);
    }
};

namespace kvx {
namespace {

TEST(LogCall, FormatsOnlyWhenALoggerListens) {
    formatCalls = 0;
    KVX_LOG_INFO("nobody hears {}", CountingArg{});
    EXPECT_EQ(formatCalls, 0);

    test::ScopedCapturingLogger logger;
    KVX_LOG_WARN("path[{}] code[{}] {}", "C:\\x", 5, CountingArg{});
    EXPECT_EQ(formatCalls, 1);
    auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, services::logging::Warn);
    EXPECT_EQ(lines[0].message, "path[C:\\x] code[5] counted");
    EXPECT_EQ(lines[0].function, "kvx::(anonymous namespace)::LogCall_FormatsOnlyWhenALoggerListens_Test::TestBody");
}

TEST(LogCall, ExplicitFunctionNameAndBadFormatArguments) {
    test::ScopedCapturingLogger logger;
    KVX_LOG_AS("kvx::apps::logFileIoFailure", services::logging::Warn, "attempt[{}]", 3);
    // A width taken from an argument is checked only at run time.
    KVX_LOG_ERROR("{:{}}", "x", -1);
    auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].function, "kvx::apps::logFileIoFailure");
    EXPECT_EQ(lines[1].message.rfind("[ERROR] LOG or ASSERT may have an invalid format or arguments: fmt[{:{}}], "
                                     "exception[", 0),
              0u);
}

}  // namespace
}  // namespace kvx
