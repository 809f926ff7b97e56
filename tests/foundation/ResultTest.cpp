// Misuse of the core types is a programming error: it is asserted with its text, then thrown.
#include "foundation/Result.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/LockedValue.h"
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

}  // namespace
}  // namespace kvx
