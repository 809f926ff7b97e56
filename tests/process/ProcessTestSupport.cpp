#include "process/ProcessTestSupport.h"

#include <stdexcept>

#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppKey.h"

namespace kvx::test {

std::filesystem::path helperPath(const wchar_t* fileName) {
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    return std::filesystem::path(self).parent_path() / fileName;
}

void copyIdleProgram(const std::filesystem::path& target) {
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(helperPath(L"proc_idle.exe"), target, std::filesystem::copy_options::overwrite_existing);
}

Child startChild(const std::filesystem::path& exe, const std::wstring& arguments, SECURITY_ATTRIBUTES* processSecurity) {
    std::wstring commandLine = L"\"" + exe.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), processSecurity, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
    CloseHandle(info.hThread);
    return Child{WinUtils::AutoHandle(info.hProcess), info.dwProcessId};
}

void killChild(Child& child) {
    if (child.process && exitCodeOf(child) == STILL_ACTIVE) {
        TerminateProcess(child.process.get(), 1);
        WaitForSingleObject(child.process.get(), 5000);
    }
}

DWORD exitCodeOf(const Child& child) {
    DWORD code = 0;
    // A process that is being terminated may still read as active for a moment.
    WaitForSingleObject(child.process.get(), 0);
    return GetExitCodeProcess(child.process.get(), &code) ? code : 0xFFFFFFFF;
}

ScopedConfig::ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::create(); }
ScopedConfig::~ScopedConfig() { foundation::utils::Singleton<config::ConfigSystem>::destroy(); }

ScopedInstallLocation::ScopedInstallLocation(const std::wstring& location) {
    apps::openAppKey(true, true).set("InstallLocation", std::wstring_view(location));
}

ScopedInstallLocation::~ScopedInstallLocation() { apps::openAppKey(true, true).deleteValue("InstallLocation"); }

}  // namespace kvx::test
