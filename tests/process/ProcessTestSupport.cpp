#include "process/ProcessTestSupport.h"

#include <atomic>
#include <stdexcept>

#include "foundation/TextConversion.h"

namespace kvx::test {

std::filesystem::path helperPath(const wchar_t* fileName) {
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    return std::filesystem::path(self).parent_path() / fileName;
}

std::filesystem::path simPath(const wchar_t* fileName) {
    return helperPath(L"").parent_path().parent_path() / L"suite-sim" / fileName;
}

std::string utf8(const std::filesystem::path& path) {
    return foundation::narrow(path.wstring(), KVX_SOURCE_LOCATION);
}

void copySimProgram(const std::filesystem::path& target) {
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(simPath(L"KorvDesktop.exe"), target,
                               std::filesystem::copy_options::overwrite_existing);
}

std::wstring uniqueName(const wchar_t* prefix, const wchar_t* suffix) {
    static std::atomic<int> counter{0};
    return prefix + (L"-" + std::to_wstring(GetCurrentProcessId())) + L"-" + std::to_wstring(counter++) +
           suffix;
}

Child startChild(const std::filesystem::path& exe, const std::wstring& arguments,
                 SECURITY_ATTRIBUTES* processSecurity) {
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

}  // namespace kvx::test
