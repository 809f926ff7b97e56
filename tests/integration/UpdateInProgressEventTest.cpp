#include "integration/UpdateInProgressEvent.h"

#include <aclapi.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "foundation/win/SystemMemory.h"

namespace kvx::apps::suite {
namespace {

constexpr const char* kChildVariable = "KVX_EXPECT_UPDATE_IN_PROGRESS";

// Runs this test program again, as a second destager would start, and answers its exit code.
DWORD runChildCheck() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_filter=UpdateInProgressChild.*";
    SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started) {
        return ~DWORD{0};
    }
    const WinUtils::AutoHandle child(process.hProcess);
    const WinUtils::AutoHandle thread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    return exitCode;
}

// Only meaningful inside the child started above.
TEST(UpdateInProgressChild, SeesTheEventOfAnotherProcess) {
    if (std::getenv(kChildVariable) == nullptr) {
        GTEST_SKIP() << "run by UpdateInProgress.SecondDestagerSeesTheEventUntilItIsClosed";
    }
    EXPECT_TRUE(isUpdateInProgress());
}

TEST(UpdateInProgress, SecondDestagerSeesTheEventUntilItIsClosed) {
    ASSERT_FALSE(isUpdateInProgress());
    WinUtils::AutoHandle event;
    createUpdateInProgressEvent(event);
    ASSERT_TRUE(event.valid());
    EXPECT_TRUE(isUpdateInProgress());
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "created signalled";
    EXPECT_EQ(runChildCheck(), 0u);
    event.reset();
    EXPECT_FALSE(isUpdateInProgress());
}

TEST(UpdateInProgress, EventCarriesTheThreeAccessEntries) {
    WinUtils::AutoHandle event;
    createUpdateInProgressEvent(event);
    ASSERT_TRUE(event.valid());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR> owned(descriptor);
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 3);
    void* first = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &first));
    // Authenticated users may only wait.
    EXPECT_EQ(static_cast<ACCESS_ALLOWED_ACE*>(first)->Mask, static_cast<ACCESS_MASK>(SYNCHRONIZE));
}

}  // namespace
}  // namespace kvx::apps::suite
