#include "destager/LoopDetection.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/TestClock.h"

namespace kvx::apps::destager {
namespace {

constexpr const char* kVersion = "13.696.0.6209";
constexpr const char* kDay = "2026-03-01";

DWORD storedType(const char* valueName) {
    const foundation::RegistryKey key = openAppKey(false, true).openSubKey(kLoopCheckSubKey, true, false);
    DWORD type = REG_NONE;
    const std::wstring name = foundation::RegistryKey::wideName(valueName);
    RegQueryValueExW(key.handle(), name.c_str(), nullptr, &type, nullptr, nullptr);
    return type;
}

// The counters live in the test prefix's real registry; each test starts and ends without them.
class LoopDetection : public ::testing::Test {
protected:
    void SetUp() override { removeCounters(); }
    void TearDown() override { removeCounters(); }
    static void removeCounters() { openAppKey(true, true).deleteTree(kLoopCheckSubKey); }

    static bool run(int32_t result, const char* date = kDay, const char* version = kVersion) {
        return isUpdateLoopDetected(result, version, date);
    }
    static void expectStored(uint32_t updateNumber, uint32_t sameResults, bool successful,
                             const char* date = kDay, const char* version = kVersion) {
        const LoopCheckState state = readLoopCheckState();
        EXPECT_EQ(state.targetVersion, version);
        EXPECT_EQ(state.date, date);
        EXPECT_EQ(state.updateNumber, updateNumber);
        EXPECT_EQ(state.sameResults, sameResults);
        EXPECT_EQ(state.lastSuccessful, successful);
    }

    test::ScopedCapturingLogger mLogger;
};

TEST_F(LoopDetection, FirstRunEverCreatesTheCountersAtOneWithTheirTypes) {
    ASSERT_FALSE(openAppKey(false, true).subkeyExists(kLoopCheckSubKey, true));
    EXPECT_FALSE(run(9));
    expectStored(1, 1, false);
    EXPECT_EQ(storedType("UpdateTargetVersion"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedType("UpdateDate"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedType("UpdateNumber"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(storedType("UpdateSameResults"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(storedType("UpdateSuccessful"), static_cast<DWORD>(REG_DWORD));
}

// The decision's rules are LoopCheckTest's; here the state must survive from run to run in the registry.
TEST_F(LoopDetection, CountersCarryOverToTheNextRunAndAFourthSuccessIsALoop) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(run(0));
    }
    expectStored(3, 3, true);
    EXPECT_TRUE(run(0));
    expectStored(4, 4, true);
    EXPECT_EQ(mLogger->linesContaining("4 consecutive successes in a row. Total attempts[4]").size(), 1u);
    EXPECT_FALSE(run(6));
    expectStored(5, 1, false);
    EXPECT_FALSE(run(0, "2026-03-02", "13.697.0.1"));
    expectStored(1, 1, true, "2026-03-02", "13.697.0.1");
}

TEST_F(LoopDetection, CountsTheBuildVersionOnTheClocksUtcDate) {
    test::ScopedTestClock clock;
    clock->setWallClock(1'772'409'599'000'000'000);  // 2026-03-01T23:59:59Z
    EXPECT_FALSE(isUpdateLoopDetected(0));
    expectStored(1, 1, true, "2026-03-01", kVersion);
    clock->setWallClock(1'772'409'601'000'000'000);
    EXPECT_FALSE(isUpdateLoopDetected(0));
    expectStored(1, 1, true, "2026-03-02", kVersion);
}

}  // namespace
}  // namespace kvx::apps::destager
