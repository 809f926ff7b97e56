// The background service's registration against Wine's real service control manager, on a
// service of the test's own (never started) so that the sandbox's "KorvBackgroundService" is left
// alone.
#include "integration/BackgroundServiceConfig.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "foundation/TextConversion.h"
#include "process/AutoScHandle.h"
#include "support/Capture.h"
#include "support/TempFolder.h"

namespace kvx::apps::destager::internal {
namespace {

using services::platform::AutoSC_HANDLE;
using services::platform::ServiceStartType;

struct Registered {
    DWORD startType = 0;
    std::wstring imagePath;
    std::wstring description;
};

class BackgroundServiceConfig : public ::testing::Test {
protected:
    void SetUp() override {
        mManager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(mManager);
        std::filesystem::create_directories(mNewFolder);
        std::ofstream(mNewFolder / L"KorvBackgroundService.exe") << "exe";
        remove();
    }
    void TearDown() override { remove(); }
    void remove() {
        AutoSC_HANDLE service(OpenServiceW(mManager.get(), mName.c_str(), DELETE));
        if (service) {
            DeleteService(service.get());
        }
    }
    void registerOld() {
        AutoSC_HANDLE service(CreateServiceW(mManager.get(), mName.c_str(), mName.c_str(), SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                             SERVICE_ERROR_NORMAL, L"\"C:\\old\\KorvBackgroundService.exe\"",
                                             nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(service);
    }
    std::optional<Registered> registered() {
        AutoSC_HANDLE service(OpenServiceW(mManager.get(), mName.c_str(), SERVICE_QUERY_CONFIG));
        if (!service) {
            return std::nullopt;
        }
        std::vector<uint8_t> buffer(8192);
        DWORD needed = 0;
        Registered result;
        if (QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed)) {
            const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
            result.startType = config->dwStartType;
            result.imagePath = config->lpBinaryPathName;
        }
        if (QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed)) {
            const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
            result.description = description->lpDescription ? description->lpDescription : L"";
        }
        return result;
    }
    Result<void, std::string> configure(const std::filesystem::path& exe, const char* sddl = kBgServiceSddl) {
        return configureService(foundation::narrow(mName, KVX_SOURCE_LOCATION), kBgServiceDescription,
                                ServiceStartType::OnDemand, fs::Path(exe).utf8(), sddl);
    }

    test::TempFolder mTemp;
    const std::filesystem::path mNewFolder = mTemp.path().std() / L"new client";  // a blank: always quoted
    const std::filesystem::path mNewExe = mNewFolder / L"KorvBackgroundService.exe";
    const std::wstring mName = L"KvxTestBgs-" + std::to_wstring(GetCurrentProcessId());
    AutoSC_HANDLE mManager;
    test::ScopedCapturingLogger mLogger;
};

TEST_F(BackgroundServiceConfig, ExistingOrMissingServiceGetsTheNewPathStartTypeAndDescription) {
    for (const bool exists : {true, false}) {
        SCOPED_TRACE(exists ? "registered" : "missing");
        remove();
        if (exists) {
            registerOld();
        }
        const auto configured = configure(mNewExe);
        EXPECT_TRUE(configured.isOk()) << (configured.isOk() ? "" : configured.peekError());
        const auto service = registered();
        ASSERT_TRUE(service);
        EXPECT_EQ(service->startType, static_cast<DWORD>(SERVICE_DEMAND_START));
        EXPECT_EQ(service->imagePath, L"\"" + mNewExe.wstring() + L"\"");
        EXPECT_EQ(service->description, L"Korv app Background Service");
    }
}

// A refused step ends the configuration with its own error and leaves the registration as it was.
TEST_F(BackgroundServiceConfig, BadInputIsReportedAndChangesNothing) {
    registerOld();
    const struct {
        std::filesystem::path exe;
        const char* sddl;
        std::string error;
    } rows[] = {
        {mNewFolder / L"missing.exe", kBgServiceSddl, "Executable path does not exist"},
        {mNewExe, "D:(A;;GA;;;no such trustee)", "Invalid SDDL string [D:(A;;GA;;;no such trustee)]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        const auto configured = configure(row.exe, row.sddl);
        ASSERT_TRUE(configured.isError());
        EXPECT_EQ(configured.peekError(), row.error);
        EXPECT_EQ(registered()->imagePath, L"\"C:\\old\\KorvBackgroundService.exe\"");
        EXPECT_EQ(registered()->startType, static_cast<DWORD>(SERVICE_AUTO_START));
    }
    // The update's step logs it and goes on; the path check comes before the service is opened.
    DestageContext context;
    context.backgroundServiceExePath = fs::Path(mNewFolder / L"missing.exe");
    updateBackgroundServiceConfig(context);
    EXPECT_EQ(
        mLogger
            ->linesContaining("Failed to update background service config: [Executable path does not exist]")
            .size(),
        1u);
}

}  // namespace
}  // namespace kvx::apps::destager::internal
