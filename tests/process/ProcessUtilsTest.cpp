#include <gtest/gtest.h>

#include "process/ProcessTestSupport.h"
#include "process/ProcessUtilsImpl.h"
#include "support/Capture.h"

namespace kvx::services::process {
namespace {

TEST(ProcessUtils, NamesParentsAndUsersOfProcesses) {
    test::ScopedCapturingLogger logger;
    ProcessUtils& utils = processUtils();
    test::Child child = test::startChild(test::simPath(L"KorvLaunchHelper.exe"));

    EXPECT_EQ(utils.getProcessName(child.pid), "KorvLaunchHelper.exe");
    auto parent = utils.getParentProcessId(child.pid);
    ASSERT_TRUE(parent.isOk()) << parent.peekError();
    EXPECT_EQ(parent.peek(), GetCurrentProcessId());
    EXPECT_EQ(utils.getProcessUserName(child.pid), utils.getProcessUserName(GetCurrentProcessId()));
    EXPECT_TRUE(utils.getExeUserName("KorvLaunchHelper.exe").has_value());
    auto sid = utils.getExeUserId("KorvLaunchHelper.exe");
    ASSERT_TRUE(sid.has_value());
    EXPECT_EQ(sid->rfind("S-1-5-", 0), 0u);

    bool seen = false;
    utils.forEachProcessId([&](uint32_t pid) { seen = seen || pid == child.pid; });
    EXPECT_TRUE(seen);
    EXPECT_TRUE(utils.terminateProcess(child.pid, 9));
    EXPECT_EQ(child.exitCode(), 9u);

    EXPECT_FALSE(utils.getProcessName(0xFFFFFF00u).has_value());
    EXPECT_EQ(logger->linesContaining("Failed to get process name for pid[4294967040]").size(), 1u);
    EXPECT_FALSE(utils.getExeUserName("kvx-nothing-runs-with-this-name.exe").has_value());
    EXPECT_EQ(logger->linesContaining("Could not retrieve user name for exe=[kvx-nothing-runs-with-this-name.exe]").size(),
              1u);
    EXPECT_EQ(utils.getParentProcessId(child.pid).peekError(),
              "No parent process found in the list of running processes");
    EXPECT_TRUE(utils.openProcess(0xFFFFFF00u, PROCESS_QUERY_LIMITED_INFORMATION).isError());
    EXPECT_TRUE(utils.isAdmin());  // Wine runs every program as an administrator
}

}  // namespace
}  // namespace kvx::services::process
