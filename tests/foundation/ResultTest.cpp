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

TEST(Result, OkAndErrorHoldWhatTheyWereGiven) {
    auto ok = parse(true);
    ASSERT_TRUE(ok.isOk());
    EXPECT_FALSE(ok.isError());
    EXPECT_EQ(ok.peek(), "value");
    EXPECT_EQ(ok.unwrap(), "value");
    EXPECT_FALSE(ok.isValid());

    auto err = parse(false);
    ASSERT_TRUE(err.isError());
    EXPECT_EQ(err.peekError(), 5);
    EXPECT_EQ(err.unwrapError(), 5);
    EXPECT_FALSE(err.isValid());
}

TEST(Result, SameTypeForValueAndErrorStaysDistinct) {
    Result<std::string, std::string> value = Ok{std::string("a")};
    Result<std::string, std::string> error = Err{std::string("b")};
    EXPECT_TRUE(value.isOk());
    EXPECT_TRUE(error.isError());
    EXPECT_EQ(error.peekError(), "b");
}

TEST(Result, VoidValue) {
    Result<void, unsigned> ok = Ok{};
    EXPECT_TRUE(ok.isOk());
    ok.unwrap();
    EXPECT_FALSE(ok.isValid());
}

TEST(Result, MovedFromIsInvalidAndAssertsOnQuery) {
    test::ScopedAssertCapture asserts;
    auto a = parse(true);
    auto b = std::move(a);
    EXPECT_TRUE(b.isOk());
    EXPECT_FALSE(a.isOk());
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].message, "results must be set to ok/err before use");
}

TEST(Result, UnwrappingAnErrorAssertsAndThrows) {
    test::ScopedAssertCapture asserts;
    auto err = parse(false);
    try {
        (void)err.unwrap();
        FAIL() << "unwrap of an error must throw";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Unwrapping error/invalid as success");
    }
    try {
        (void)err.peek();
        FAIL() << "peek of an error must throw";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Unwrapping error as success");
    }
    ASSERT_EQ(asserts.asserts().size(), 2u);
    EXPECT_EQ(asserts.asserts()[0].message, "error/invalid result may not be unwrapped as success");
    EXPECT_EQ(asserts.asserts()[1].message, "error result may not be unwrapped as success");
    EXPECT_TRUE(err.isError()) << "a failed unwrap leaves the error in place";
}

TEST(Result, ErrorAccessOnSuccessAssertsAndThrows) {
    test::ScopedAssertCapture asserts;
    auto ok = parse(true);
    EXPECT_THROW((void)ok.peekError(), std::logic_error);
    try {
        (void)ok.unwrapError();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Success result unwrapped as error");
    }
    ASSERT_EQ(asserts.asserts().size(), 2u);
    EXPECT_EQ(asserts.asserts()[1].message, "success result may not be unwrapped as an error");
    EXPECT_EQ(ok.peek(), "value");
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
    EXPECT_EQ(report.condition, "value == 4");
    EXPECT_EQ(report.message, "value[3]");
    EXPECT_NE(report.function.find("ReportCarriesLevelConditionFunctionAndMessage"), std::string::npos);
    EXPECT_STREQ(foundation::assertLevelName(static_cast<foundation::AssertLevel>(7)), "unknown");
}

}  // namespace
}  // namespace kvx
