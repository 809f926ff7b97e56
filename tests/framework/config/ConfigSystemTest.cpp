#include "framework/config/ConfigSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "support/Capture.h"

namespace kvx::config {
namespace {

std::map<std::string, std::string> pairsOf(const KVPs& kvps) {
    return {kvps.begin(), kvps.end()};
}

TEST(ConfigStore, KeysAreCaseInsensitiveAndStoredLowerCase) {
    ConfigSystem config;
    config.set(Store::Ordinary, "App.Mode", "a", kScopeStatic);
    config.set(Store::Ordinary, "APP.MODE", "b", kScopeStatic);
    EXPECT_EQ(config.getString("app.mode", ""), "b");
    EXPECT_TRUE(config.contains("aPp.MoDe"));
    EXPECT_EQ(pairsOf(config.filterByScope(kScopeStatic)),
              (std::map<std::string, std::string>{{"app.mode", "b"}}));
}

TEST(ConfigStore, OverrideWinsUntilCleared) {
    ConfigSystem config;
    config.set(Store::Ordinary, "k", "ordinary", kScopeStatic);
    config.set(Store::Override, "K", "override", kScopeStatic);
    EXPECT_EQ(config.getString("k", ""), "override");
    config.set(Store::Ordinary, "k", "ordinary2", kScopeStatic);
    EXPECT_EQ(config.getString("k", ""), "override");
    config.clearOverrides();
    EXPECT_EQ(config.getString("k", ""), "ordinary2");

    config.set(Store::Override, "only.override", "x", kScopeStatic);
    config.clearOverrides();
    EXPECT_FALSE(config.contains("only.override"));
    // The scope set still knows the key, but filtering reports only keys a store holds.
    EXPECT_FALSE(config.filterByScope(kScopeStatic).contains("only.override"));
}

// An empty value reads as the default for a boolean and for a number, as itself for a string.
TEST(ConfigReads, TextsAsBooleansAndUnsignedNumbers) {
    struct Row {
        const char* text;
        bool asBool;    // read with the opposite default
        uint32_t as32;  // read with default 77
        uint64_t as64;  // read with default 1
    };
    const Row rows[] = {{"0", false, 0, 0},
                        {"false", false, 0, 0},
                        {"FALSE", true, 0, 0},
                        {"False", true, 0, 0},
                        {"1", true, 1, 1},
                        {"no", true, 0, 0},
                        {"00", true, 0, 0},
                        {"12abc", true, 12, 12},
                        {"", true, 0, 0},
                        {" 5", true, 0, 0},
                        {"-5", true, 0, 0},
                        {"4294967295", true, 4294967295u, 4294967295u},
                        {"4294967296", true, 0, 4294967296ull},
                        {"99999999999999999999", true, 0, 0},
                        {"18446744073709551615x", true, 0, 18446744073709551615ull},
                        {"18446744073709551616", true, 0, 0}};
    ConfigSystem config;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        config.set(Store::Ordinary, "n", row.text, kScopeStatic);
        if (*row.text != '\0') {
            EXPECT_EQ(config.getBool("n", !row.asBool), row.asBool);
        }
        EXPECT_EQ(config.getUInt32("n", 77), row.as32);
        EXPECT_EQ(config.getUInt64("n", 1), row.as64);
    }
    config.set(Store::Ordinary, "n", "", kScopeStatic);
    EXPECT_TRUE(config.getBool("n", true));
    EXPECT_FALSE(config.getBool("n", false));
    EXPECT_EQ(config.getString("n", "default"), "");
    EXPECT_TRUE(config.getBool("missing", true));
    EXPECT_EQ(config.getUInt32("missing", 77), 77u);
    EXPECT_EQ(config.getString("missing", "default"), "default");
    config.setBool(Store::Ordinary, "typed", false, kScopeStatic);
    EXPECT_EQ(config.getString("typed", ""), "0");
    config.setUInt64(Store::Ordinary, "typed", 300, kScopeStatic);
    EXPECT_EQ(config.getString("typed", ""), "300");
}

// Only "true" in any case is true; anything else is false, and anything but "false" is logged.
TEST(ConfigReads, ReadBool) {
    test::ScopedCapturingLogger logger;
    EXPECT_FALSE(foundation::readBool("FALSE"));
    EXPECT_TRUE(foundation::readBool("TrUe"));
    logger->clear();
    EXPECT_FALSE(foundation::readBool("1"));
    EXPECT_FALSE(foundation::readBool("false"));
    EXPECT_EQ(logger->lines(), (std::vector<test::LoggedLine>{
                                   {services::logging::Debug, "kvx::foundation::readBool",
                                    "Failed to convert string to bool value, returning false by default"}}));
}

TEST(ConfigScopes, FilterByScopeGivesEffectiveValues) {
    ConfigSystem config;
    config.set(Store::Ordinary, "machine.A", "1", kScopeMachine);
    config.set(Store::Ordinary, "machine.b", "2", kScopeMachine);
    config.set(Store::Override, "machine.b", "over", kScopeStatic);  // value from elsewhere wins
    config.set(Store::Ordinary, "app.x", "3", kScopeStatic);
    EXPECT_EQ(pairsOf(config.filterByScope(kScopeMachine)),
              (std::map<std::string, std::string>{{"machine.a", "1"}, {"machine.b", "over"}}));
    EXPECT_TRUE(config.filterByScope(0).empty());
    EXPECT_TRUE(config.filterByScope(200).empty());
}

TEST(ConfigScopes, BulkSetNotifiesEachPairAndCloudScopeMarksLoaded) {
    ConfigSystem config;
    std::vector<std::pair<ConfigScope, std::string>> seen;
    config.addChangeHandler([&](ConfigScope scope, const std::string& key) { seen.emplace_back(scope, key); },
                            KVX_HANDLER_SOURCE);
    KVPs pairs;
    pairs.set("A.One", "1");
    pairs.set("a.two", "2");
    config.setBulk(pairs, kScopeMachine, true);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(config.getString("a.one", ""), "1");
    config.clearOverrides();
    EXPECT_FALSE(config.contains("a.one"));  // went to the override store

    test::ScopedAssertCapture asserts;
    EXPECT_EQ(config.getUInt32("a.two", 5, true), 5u);  // asserts, then reads normally
    EXPECT_EQ(asserts.conditionsAndMessages(), (std::vector<std::pair<std::string, std::string>>{
                                                   {"mCloudConfigLoaded", "Cloud config is not loaded"}}));

    config.setBulk(KVPs{}, kScopeCloud, false);
    EXPECT_FALSE(config.getBool("missing", false, true));
    EXPECT_EQ(asserts.asserts().size(), 1u);
}

TEST(ConfigHandlers, IdsIncreaseAndHandlersRunUnderTheDataLock) {
    ConfigSystem config;
    ConfigSystem other;
    const uint32_t first =
        config.addChangeHandler([](ConfigScope, const std::string&) {}, KVX_HANDLER_SOURCE);
    const uint32_t second =
        other.addChangeHandler([](ConfigScope, const std::string&) {}, KVX_HANDLER_SOURCE);
    EXPECT_GE(first, 1u);
    EXPECT_EQ(second, first + 1);  // one counter for the whole process

    int calls = 0;
    config.addChangeHandler(
        [&](ConfigScope scope, const std::string& key) {
            ++calls;
            if (key == "trigger") {
                EXPECT_EQ(scope, kScopeMachine);
                // Reads and sets from inside a handler re-enter the recursive data lock.
                config.set(Store::Ordinary, "derived", config.getString("trigger", "") + "!", kScopeStatic);
            }
        },
        KVX_HANDLER_SOURCE);
    config.set(Store::Ordinary, "TRIGGER", "v", kScopeMachine);
    EXPECT_EQ(config.getString("derived", ""), "v!");
    EXPECT_EQ(calls, 2);
    config.set(Store::Ordinary, "quiet", "x", kScopeStatic, false);
    EXPECT_EQ(calls, 2);
}

TEST(ConfigHandlers, HandlerAddedFromAHandlerRunsFromTheNextSet) {
    ConfigSystem config;
    int lateCalls = 0;
    bool added = false;
    config.addChangeHandler(
        [&](ConfigScope, const std::string&) {
            if (!added) {
                added = true;
                config.addChangeHandler([&](ConfigScope, const std::string&) { ++lateCalls; },
                                        KVX_HANDLER_SOURCE);
            }
        },
        KVX_HANDLER_SOURCE);
    config.set(Store::Ordinary, "a", "1", kScopeStatic);
    EXPECT_EQ(lateCalls, 0);
    config.set(Store::Ordinary, "a", "2", kScopeStatic);
    EXPECT_EQ(lateCalls, 1);
}

TEST(ConfigConcurrency, SetsReadsAndHandlersFromSeveralThreads) {
    ConfigSystem config;
    std::atomic<int> notified{0};
    config.addChangeHandler(
        [&](ConfigScope scope, const std::string&) {
            if (scope == kScopeMachine) {
                // What the machine-settings write-through does: read everything of the scope.
                (void)config.filterByScope(kScopeMachine);
            }
            notified.fetch_add(1, std::memory_order_relaxed);
        },
        KVX_HANDLER_SOURCE);

    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const std::string key = "machine.t" + std::to_string(t);
                config.setUInt64(Store::Ordinary, key, static_cast<uint64_t>(i), kScopeMachine);
                config.set(Store::Override, "shared", std::to_string(i), kScopeStatic);
                EXPECT_EQ(config.getUInt64(key, 999), static_cast<uint64_t>(i));
                (void)config.getBool("shared", false);
                if (i % 50 == 0) {
                    config.clearOverrides();
                    config.addChangeHandler([](ConfigScope, const std::string&) {}, KVX_HANDLER_SOURCE);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_GE(notified.load(), kThreads * kRounds * 2);
    EXPECT_EQ(config.filterByScope(kScopeMachine).size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(config.getUInt64("machine.t0", 0), static_cast<uint64_t>(kRounds - 1));
}

}  // namespace
}  // namespace kvx::config
