#include "process/ClientLaunch.h"

#include <windows.h>

#include <shellapi.h>

#include "foundation/Assert.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/win/ComInitializer.h"
#include "foundation/win/WinUtilsImpl.h"
#include "framework/telemetry/TelemetryEvent.h"
#include "process/ClientStartPlan.h"
#include "process/Process.h"
#include "process/ProcessUtils.h"

namespace kvx::apps {

void startClient(const destager::DestagerOptions& options, int32_t result,
                 const RelaunchDirectories& directories) {
    const ClientStart start = planClientStart(options.attended, options.launchHelperArgument, result);
    if (start.target == ClientStartTarget::Desktop) {
        (void)startDesktop(directories.desktop, start.arguments);
    } else if (start.target == ClientStartTarget::LaunchHelper) {
        (void)startLaunchHelper(directories.launchHelper, start.arguments);
    }
    if (result != 0) {
        KVX_LOG_INFO("Background update attempt failed, not relaunching");
    }
}

bool startDesktop(const std::string& directory, const std::vector<std::string>& arguments) {
    return startExecutable(directory, "KorvDesktop.exe", arguments, true);
}

bool startLaunchHelper(const std::string& directory, const std::vector<std::string>& arguments) {
    return startExecutable(directory, "KorvLaunchHelper.exe", arguments, true);
}

bool startExecutable(const std::string& dir, const std::string& exe,
                     const std::vector<std::string>& arguments, bool asUser) {
    const std::string path = (fs::Path::fromUtf8(dir) / fs::Path::fromUtf8(exe)).utf8();
    auto present = fs::filesystem().exists(fs::Path::fromUtf8(path));
    if (dir.empty() || !present.isOk() || !present.peek()) {
        KVX_LOG_ERROR("Missing executable: '{}'", path);
        return false;
    }
    // The main flow normally holds COM already; Windows then answers with a success code.
    WinUtils::ComInitializer com;
    if (!com.succeeded()) {
        foundation::assertFailed(foundation::AssertLevel::Error, "succeeded()", __PRETTY_FUNCTION__,
                                 fmt::format("Unable to initalize COM on this thread, result=[{}].",
                                             static_cast<int32_t>(com.result())));
        foundation::recordTelemetryEvent(
            foundation::TelemetryEvent("prcs.com.erro")
                .setParam("code", fmt::format("{:#X}", static_cast<uint32_t>(com.result()))));
    }
    const std::string text = joinArguments(arguments);
    KVX_LOG_INFO("Starting executable [{}] with arguments [{}]", exe, text);
    if (asUser && services::process::processUtils().isAdmin()) {
        if (startExecUsingExplorerCred(exe, dir, text)) {
            return true;
        }
        return startExecUsingInteractiveSession(path, dir, text);
    }
    return startExecWithSameCredentials(path, text);
}

bool startExecUsingInteractiveSession(const std::string& path, const std::string& dir,
                                      const std::string& arguments) {
    auto token = WinUtils::winUtils().getInteractiveSessionUserToken();
    if (token.isError()) {
        KVX_LOG_ERROR("Unable to get interactive session user token [{}]", token.peekError());
        return false;
    }
    const WinUtils::AutoHandle userToken = token.unwrap();
    services::process::ProcessInfo info;
    info.exe = path;
    info.args = arguments;
    info.dir = dir;
    info.userToken = userToken.get();
    auto environment = WinUtils::winUtils().getUserEnvironment(userToken.get());
    if (environment.isError()) {
        KVX_LOG_ERROR("{}", environment.peekError());
        return false;
    }
    info.environment = environment.unwrap();
    auto started = services::process::Process::createAndRun(info);
    if (started.isError()) {
        KVX_LOG_ERROR("Failed to start process [{}]", services::process::errorName(started.peekError()));
        return false;
    }
    // Dropping the Process leaves the running client alone.
    return true;
}

bool startExecWithSameCredentials(const std::string& path, const std::string& arguments) {
    KVX_LOG_INFO("Starting app with same credentials: path[{}], args[{}]'", path, arguments);
    const std::wstring file = foundation::widen(path, KVX_SOURCE_LOCATION);
    const std::wstring parameters = foundation::widen(arguments, KVX_SOURCE_LOCATION);
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOASYNC;
    execute.lpFile = file.c_str();
    execute.lpParameters = parameters.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute)) {
        KVX_LOG_ERROR("Failed to start app, error[{}]", GetLastError());
        return false;
    }
    return true;
}

}  // namespace kvx::apps
