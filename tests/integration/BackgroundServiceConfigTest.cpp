// Against Wine's real service control manager, on a service of the test's own (never started).
#include "integration/BackgroundServiceConfig.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fmt/format.h>

#include "foundation/registry/RegistryKey.h"
#include "process/AutoScHandle.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::apps::destager::internal {
namespace {

using services::platform::AutoSC_HANDLE;

class BackgroundServiceConfig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(mManager);
        mTemp.writeFile(L"new client\\KorvBackgroundService.exe", "exe");
        TearDown();
    }
    void TearDown() override {
        AutoSC_HANDLE service(OpenServiceA(mManager.get(), mName.c_str(), DELETE));
        if (service) {
            DeleteService(service.get());
        }
    }
    // "<start type> <image path> <description>" as the service manager keeps them.
    std::string registered() const {
        const foundation::RegistryKey key(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + mName,
                                          true, false);
        return fmt::format("{} {} {}", key.get<uint32_t>("Start"), key.get<std::string>("ImagePath"),
                           key.get<std::string>("Description"));
    }

    test::TempFolder mTemp;
    const fs::Path mNewExe = mTemp / L"new client\\KorvBackgroundService.exe";  // a blank: always quoted
    const std::string mName = "KvxTestBgs-" + std::to_string(GetCurrentProcessId());
    AutoSC_HANDLE mManager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
};

// A refused step ends the configuration with its own error and leaves the registration as it was.
TEST_F(BackgroundServiceConfig, NewPathStartTypeAndDescriptionOrTheErrorAndNoChange) {
    const std::string old = fmt::format("{} \"C:\\old\\KorvBackgroundService.exe\" ", SERVICE_AUTO_START);
    const std::string configured =
        fmt::format("{} \"{}\" Korv app Background Service", SERVICE_DEMAND_START, mNewExe.utf8());
    const struct {
        bool registeredBefore;
        fs::Path exe;
        const char* sddl;
        const char* error;  // none: configured
    } rows[] = {
        {true, mNewExe, kBgServiceSddl, nullptr},
        {false, mNewExe, kBgServiceSddl, nullptr},
        {true, mTemp / L"new client\\missing.exe", kBgServiceSddl, "Executable path does not exist"},
        {true, mNewExe, "D:(A;;GA;;;no such trustee)", "Invalid SDDL string [D:(A;;GA;;;no such trustee)]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error ? row.error : row.registeredBefore ? "registered" : "missing");
        TearDown();
        if (row.registeredBefore) {
            ASSERT_TRUE(AutoSC_HANDLE(CreateServiceA(
                mManager.get(), mName.c_str(), mName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "\"C:\\old\\KorvBackgroundService.exe\"", nullptr,
                nullptr, nullptr, nullptr, nullptr)));
        }
        const auto result =
            configureService(mName, kBgServiceDescription, services::platform::ServiceStartType::OnDemand,
                             row.exe.utf8(), row.sddl);
        EXPECT_EQ(result.isError() ? result.peekError() : "", row.error ? row.error : "");
        EXPECT_EQ(registered(), row.error ? old : configured);
    }
    // The update's step logs it and goes on; the path check comes before the service is opened.
    test::ScopedCapturingLogger logger;
    DestageContext context;
    context.backgroundServiceExePath = mTemp / L"new client\\missing.exe";
    updateBackgroundServiceConfig(context);
    const std::string line = "Failed to update background service config: [Executable path does not exist]";
    EXPECT_EQ(logger->count(line), 1u);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
