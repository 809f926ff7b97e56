#include "foundation/Result.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Capture.h"

namespace kvx {
namespace {

Result<std::string, int> parse(bool good) {
    if (good) {
        return Ok{std::string("value")};
    }
    return Err{5};
}

// The text of the logic_error `access` throws, or "" if it throws none.
template <typename Access>
std::string thrownText(Access access) {
    try {
        access();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "";
}

// Holding and handing back values is exercised by every test of this project; here only misuse.
TEST(Result, UnwrapSpendsTheResult) {
    auto ok = parse(true);
    EXPECT_EQ(ok.unwrap(), "value");
    EXPECT_FALSE(ok.isValid());
    auto err = parse(false);
    EXPECT_EQ(err.unwrapError(), 5);
    EXPECT_FALSE(err.isValid());
}

TEST(Result, MovedFromIsInvalidAndAssertsOnQuery) {
    test::ScopedAssertCapture asserts;
    auto a = parse(true);
    auto b = std::move(a);
    EXPECT_TRUE(b.isOk());
    EXPECT_FALSE(a.isOk());
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"results must be set to ok/err before use"});
}

TEST(Result, WrongSideAccessAssertsAndThrowsLeavingTheResult) {
    test::ScopedAssertCapture asserts;
    auto err = parse(false);
    EXPECT_EQ(thrownText([&] { (void)err.unwrap(); }), "Unwrapping error/invalid as success");
    EXPECT_EQ(thrownText([&] { (void)err.peek(); }), "Unwrapping error as success");
    EXPECT_TRUE(err.isError()) << "a failed unwrap leaves the error in place";
    auto ok = parse(true);
    EXPECT_NE(thrownText([&] { (void)ok.peekError(); }), "");
    EXPECT_EQ(thrownText([&] { (void)ok.unwrapError(); }), "Success result unwrapped as error");
    EXPECT_EQ(ok.peek(), "value");
    const auto messages = asserts.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "error/invalid result may not be unwrapped as success");
    EXPECT_EQ(messages[1], "error result may not be unwrapped as success");
    EXPECT_EQ(messages[3], "success result may not be unwrapped as an error");
}

TEST(Assert, HandlerIsNotReenteredFromItsOwnThread) {
    int calls = 0;
    auto previous = foundation::setAssertHandler([&](const foundation::AssertReport&) {
        ++calls;
        KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "nested {}", 1);
    });
    KVX_ASSERT(foundation::AssertLevel::Warning, 1 + 1 == 3, "outer {}", "x");
    KVX_ASSERT(foundation::AssertLevel::Warning, 1 + 1 == 2, "never reported");
    foundation::setAssertHandler(std::move(previous));
    EXPECT_EQ(calls, 1);
}

TEST(Assert, ReportCarriesLevelConditionFunctionAndMessage) {
    test::ScopedAssertCapture asserts;
    int value = 3;
    KVX_ASSERT(foundation::AssertLevel::Debug, value == 4, "value[{}]", value);
    ASSERT_EQ(asserts.asserts().size(), 1u);
    const auto report = asserts.asserts()[0];
    EXPECT_EQ(report.level, foundation::AssertLevel::Debug);
    EXPECT_EQ(asserts.conditionsAndMessages()[0],
              (std::pair<std::string, std::string>{"value == 4", "value[3]"}));
    EXPECT_NE(report.function.find("ReportCarriesLevelConditionFunctionAndMessage"), std::string::npos);
    EXPECT_STREQ(foundation::assertLevelName(static_cast<foundation::AssertLevel>(7)), "unknown");
}

}  // namespace
}  // namespace kvx
