#include "process/ProcessTestSupport.h"

#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"

namespace kvx::test {

std::filesystem::path helperPath(const wchar_t* fileName) {
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    return std::filesystem::path(self).parent_path() / fileName;
}

std::filesystem::path simPath(const wchar_t* fileName) {
    return helperPath(L"").parent_path().parent_path() / L"suite-sim" / fileName;
}

void copySimProgram(const std::filesystem::path& target) {
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(simPath(L"KorvDesktop.exe"), target, std::filesystem::copy_options::overwrite_existing);
}

Child startChild(const std::filesystem::path& exe, const std::wstring& arguments, SECURITY_ATTRIBUTES* processSecurity) {
    std::wstring commandLine = L"\"" + exe.wstring() + L"\" --lifetime=60000 " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), processSecurity, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
    const WinUtils::AutoHandle thread(info.hThread);
    return Child(WinUtils::AutoHandle(info.hProcess), info.dwProcessId);
}

void Child::kill() {
    if (process && exitCode() == STILL_ACTIVE) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
}

DWORD Child::exitCode() const {
    DWORD code = 0;
    // A process that is being terminated may still read as active for a moment.
    WaitForSingleObject(process.get(), 0);
    return GetExitCodeProcess(process.get(), &code) ? code : 0xFFFFFFFF;
}

ServiceUnderTest::ServiceUnderTest(const char* prefix, const std::function<std::wstring(const std::wstring&)>& image,
                                   DWORD awaitedState)
    : mService([prefix] {
          static std::atomic<int> counter{0};
          return std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
      }()) {
    const std::wstring wideName(name().begin(), name().end());
    EXPECT_EQ(mService.open(SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS), services::platform::OpenResult::NotPresent);
    mCreated = mService.create(SERVICE_ALL_ACCESS, services::platform::ServiceStartType::OnDemand, image(wideName),
                               nullptr);
    EXPECT_TRUE(mCreated);
    EXPECT_TRUE(StartServiceW(mService.serviceHandle(), 0, nullptr)) << GetLastError();
    EXPECT_TRUE(awaitState(awaitedState)) << "service did not reach state " << awaitedState;
}

ServiceUnderTest::~ServiceUnderTest() {
    if (!mCreated) {
        return;
    }
    if (const DWORD pid = status().dwProcessId; pid != 0) {
        WinUtils::AutoHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
    DeleteService(mService.serviceHandle());
}

SERVICE_STATUS_PROCESS ServiceUnderTest::status() const {
    SERVICE_STATUS_PROCESS result{};
    DWORD needed = 0;
    QueryServiceStatusEx(mService.serviceHandle(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&result),
                         sizeof(result), &needed);
    return result;
}

bool ServiceUnderTest::awaitState(DWORD state) const {
    for (int i = 0; i < 500 && this->state() != state; ++i) {
        Sleep(20);
    }
    return this->state() == state;
}

ScopedConfig::ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::create(); }
ScopedConfig::~ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::destroy(); }

}  // namespace kvx::test
