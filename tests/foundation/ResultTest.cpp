// Misuse of the core types is a programming error: it is asserted with its text, then thrown. And the
// logging call interface.
#include "foundation/Result.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/LockedValue.h"
#include "foundation/Logging.h"
#include "foundation/Singleton.h"
#include "support/Capture.h"

namespace kvx {
namespace {

using IntSingleton = foundation::utils::Singleton<int>;

Result<std::string, int> parse(bool good) {
    if (good) {
        return Ok{std::string("value")};
    }
    return Err{5};
}

// The text thrown (empty: none) and the messages asserted while `act` runs.
using Outcome = std::pair<std::string, std::vector<std::string>>;
Outcome misuse(const std::function<void()>& act) {
    test::ScopedAssertCapture asserts;
    std::string thrown;
    try {
        act();
    } catch (const std::logic_error& e) {
        thrown = e.what();
    }
    return {thrown, asserts.messages()};
}

TEST(CoreTypes, MisuseIsAssertedWithItsTextThenThrown) {
    EXPECT_EQ(misuse([] { (void)parse(false).unwrap(); }),
              (Outcome{"Unwrapping error/invalid as success",
                       {"error/invalid result may not be unwrapped as success"}}));
    EXPECT_EQ(misuse([] { (void)parse(false).peek(); }),
              (Outcome{"Unwrapping error as success", {"error result may not be unwrapped as success"}}));
    EXPECT_EQ(
        misuse([] { (void)parse(true).unwrapError(); }),
        (Outcome{"Success result unwrapped as error", {"success result may not be unwrapped as an error"}}));
    EXPECT_EQ(misuse([] {
                  auto a = parse(true);
                  auto b = std::move(a);
                  EXPECT_FALSE(a.isOk());
              }),
              (Outcome{"", {"results must be set to ok/err before use"}}));
    EXPECT_EQ(misuse([] { IntSingleton::getMutable(); }),
              (Outcome{"attempted to access empty singleton", {"Attempted to access empty singleton"}}));
    EXPECT_EQ(misuse([] { IntSingleton::destroy(); }), (Outcome{"", {"Singleton destroyed while empty"}}));
    EXPECT_EQ(misuse([] {
                  IntSingleton::create(1);
                  IntSingleton::create(2);
                  EXPECT_EQ(IntSingleton::getMutable(), 2) << "the second replaces the first";
                  IntSingleton::destroy();
              }),
              (Outcome{"", {"Singleton created twice"}}));
    EXPECT_EQ(
        misuse([] {
            LockedValue<int> value;
            LockedValue<int> moved(std::move(value));
            (void)value.checkedValue();
        }),
        (Outcome{"you must not access a moved LockedValue", {"you must not access a moved LockedValue"}}));
}

// A handler that asserts itself must not be entered again from its own thread (endless recursion).
TEST(Assert, ReportCarriesLevelConditionFunctionAndMessageAndIsNotReentered) {
    std::vector<test::CapturedAssert> reports;
    auto previous = foundation::setAssertHandler([&](const foundation::AssertReport& report) {
        reports.push_back({report.level, std::string(report.condition), std::string(report.function),
                           std::string(report.message)});
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "nested {}", 1);
    });
    int value = 3;
    KVX_ASSERT(foundation::AssertLevel::Debug, value == 4, "value[{}]", value);
    KVX_ASSERT(foundation::AssertLevel::Warning, value == 3, "never reported");
    foundation::setAssertHandler(std::move(previous));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(std::tie(reports[0].level, reports[0].condition, reports[0].message),
              std::make_tuple(foundation::AssertLevel::Debug, "value == 4", "value[3]"));
    EXPECT_NE(reports[0].function.find("IsNotReentered"), std::string::npos) << reports[0].function;
}

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
