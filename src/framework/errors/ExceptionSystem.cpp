#include "framework/errors/ExceptionSystem.h"

#include <windows.h>

#include <atomic>

#include "foundation/Logging.h"
#include "framework/errors/Win32StackSymbols.h"

namespace kvx::foundation {
namespace {

std::atomic<ExceptionHandlerClient*> sCrashClient{nullptr};

CrashInfo crashInfoFrom(const EXCEPTION_POINTERS& pointers) {
    const auto address = reinterpret_cast<uint64_t>(pointers.ExceptionRecord->ExceptionAddress);
    CodeLocation location = locateModule(address);
    return {static_cast<uint32_t>(pointers.ExceptionRecord->ExceptionCode), address,
            std::move(location.module), location.moduleOffset, GetCurrentThreadId()};
}

// The report is written, then the search goes on so that the process ends as it would have.
LONG WINAPI reportUnhandledException(EXCEPTION_POINTERS* pointers) {
    if (auto* client = sCrashClient.load(); client != nullptr && pointers != nullptr) {
        client->onNotification(kCrashNotification, crashInfoFrom(*pointers));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

ExceptionSystem::ExceptionSystem(std::string executablePath) : mClient(std::move(executablePath)) {
    enable();
}

ExceptionSystem::~ExceptionSystem() {
    disable();
}

void ExceptionSystem::setLogFilePaths(std::string mainLog, std::string verboseLog) {
    mClient.setLogFilePaths(std::move(mainLog), std::move(verboseLog));
}

void ExceptionSystem::enable() {
    if (mEnabled) {
        return;
    }
    sCrashClient.store(&mClient);
    mPreviousFilter = reinterpret_cast<void*>(SetUnhandledExceptionFilter(reportUnhandledException));
    mEnabled = true;
    KVX_LOG_INFO("Crash detection enabled");
}

void ExceptionSystem::disable() {
    if (!mEnabled) {
        return;
    }
    SetUnhandledExceptionFilter(reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(mPreviousFilter));
    sCrashClient.store(nullptr);
    mPreviousFilter = nullptr;
    mEnabled = false;
    KVX_LOG_INFO("Crash detection disabled");
}

}  // namespace kvx::foundation
