#include "foundation/Singleton.h"

#include <gtest/gtest.h>

#include "foundation/LockedValue.h"
#include "support/Capture.h"

namespace kvx {
namespace {

struct IService {
    virtual ~IService() = default;
    virtual int value() const = 0;
};
struct Service : IService {
    explicit Service(int v) : v(v) {}
    int value() const override { return v; }
    int v;
};
using ServiceSingleton = foundation::utils::Singleton<IService>;

TEST(Singleton, EmptyAccessAssertsAndThrows) {
    test::ScopedAssertCapture asserts;
    EXPECT_THROW(ServiceSingleton::getMutable(), std::logic_error);
    ServiceSingleton::destroy();
    ASSERT_EQ(asserts.asserts().size(), 2u);
    EXPECT_EQ(asserts.asserts()[0].message, "Attempted to access empty singleton");
    EXPECT_EQ(asserts.asserts()[1].condition, "mInstance");
}

TEST(Singleton, SecondCreateAssertsAndReplaces) {
    test::ScopedAssertCapture asserts;
    ServiceSingleton::createDerived<Service>(1);
    ServiceSingleton::createDerived<Service>(2);
    EXPECT_EQ(ServiceSingleton::getMutable().value(), 2);
    ServiceSingleton::destroy();
    EXPECT_FALSE(ServiceSingleton::exists());
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "mInstance == nullptr");
}

TEST(LockedValue, AccessHoldsTheLockAndMovedFromThrows) {
    test::ScopedAssertCapture asserts;
    LockedValue<std::vector<int>> values;
    {
        auto access = values.checkedValue();
        access->push_back(4);
        EXPECT_TRUE(access.lock().owns_lock());
    }
    EXPECT_EQ(values.checkedValue()->size(), 1u);

    LockedValue<std::vector<int>> moved(std::move(values));
    EXPECT_EQ((*moved.checkedValue())[0], 4);
    EXPECT_THROW(values.checkedValue(), std::logic_error);
    EXPECT_EQ(asserts.messages(), std::vector<std::string>{"you must not access a moved LockedValue"});
}

}  // namespace
}  // namespace kvx
