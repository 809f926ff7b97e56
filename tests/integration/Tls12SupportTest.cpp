#include <gtest/gtest.h>

#include "foundation/registry/RegistryTestSupport.h"
#include "integration/Tls12Support.h"
#include "support/Capture.h"

namespace kvx::apps::utils {
namespace {

constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kSchannelClient =
    "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.2\\Client";

// The settings go below a test key instead of the machine's or user's own root.
class Tls12SupportTest : public ::testing::Test {
protected:
    void run(bool windows81OrLater) {
        enableTls12ClientSupport({[windows81OrLater] { return windows81OrLater; }, [this] { return mRoot.handle(); }});
    }
    uint32_t value(const std::string& subKey, const char* name) const {
        return foundation::RegistryKey(mRoot.handle(), subKey, true, false).get<uint32_t>(name);
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const auto& line : mLogger->lines()) {
            EXPECT_EQ(line.function, "kvx::apps::utils::enableTls12ClientSupport");
            EXPECT_EQ(line.level, services::logging::Info);
            texts.push_back(line.message);
        }
        return texts;
    }

    test::ScopedTestKey mKey{"tls12"};
    foundation::RegistryKey mRoot = mKey.open(true);
    test::ScopedCapturingLogger mLogger;
};

TEST_F(Tls12SupportTest, Windows10IsLeftAlone) {
    run(true);
    EXPECT_FALSE(mRoot.subkeyExists("Software", true));
    EXPECT_FALSE(mRoot.subkeyExists("SYSTEM", true));
    EXPECT_TRUE(messages().empty());
}

TEST_F(Tls12SupportTest, Windows7GetsTheProtocolBitsAndTheClientOnce) {
    ASSERT_TRUE(foundation::RegistryKey(mRoot.handle(), kInternetSettings, true, true).set("SecureProtocols", 0xA0));
    run(false);
    EXPECT_EQ(value(kInternetSettings, "SecureProtocols"), 0x8A0u);
    EXPECT_EQ(value(std::string(kInternetSettings) + "\\WinHttp", "DefaultSecureProtocols"), 0x800u);
    EXPECT_EQ(value(kSchannelClient, "Enabled"), 1u);
    EXPECT_EQ(value(kSchannelClient, "DisabledByDefault"), 0u);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Enabling TLS 1.2 in SecureProtocols",
                                                    "Enabling TLS 1.2 in DefaultSecureProtocols",
                                                    "Enabling TLS 1.2 in SecurityProviders"}));

    mLogger->clear();
    run(false);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(value(kInternetSettings, "SecureProtocols"), 0x8A0u);

    // A client enabled but disabled by default is not usable.
    ASSERT_TRUE(foundation::RegistryKey(mRoot.handle(), kSchannelClient, true, true).set("DisabledByDefault", 1));
    run(false);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Enabling TLS 1.2 in SecurityProviders"}));
    EXPECT_EQ(value(kSchannelClient, "DisabledByDefault"), 0u);
}

}  // namespace
}  // namespace kvx::apps::utils
