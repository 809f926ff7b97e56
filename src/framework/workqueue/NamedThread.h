#pragma once
// Threads of the program carry names (shown by debuggers and crash reports) and announce
// themselves in the verbose log. The operating-system side is behind IThreadPlatform so the
// thread logic runs anywhere; the Windows program installs the Win32 platform at start-up.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "foundation/Result.h"

namespace kvx {

class IThreadPlatform {
public:
    virtual ~IThreadPlatform() = default;
    virtual void nameCurrentThread(const std::string& name) = 0;
    virtual uint32_t currentThreadId() = 0;
    virtual uint32_t currentProcessId() = 0;
    // Single-threaded apartment for the calling thread; the error is the HRESULT.
    virtual Result<void, int32_t> initializeCom() = 0;
    virtual void uninitializeCom() = 0;
};

// The installed platform; without one, threads go unnamed, ids are small per-process numbers, the
// process id is 0 and COM is not touched.
IThreadPlatform& threadPlatform();
// Installs a platform that lives for the rest of the process (null: back to the default) and
// returns the previous one.
IThreadPlatform* setThreadPlatform(IThreadPlatform* platform);

// Names the thread, logs its start and runs `body` once.
Result<std::thread, std::string> makeNamedThread(const std::string& name, std::function<void()> body);
// As makeNamedThread, with COM initialised around `body` (worker threads).
Result<std::thread, std::string> makeNamedKorvThread(const std::string& name, std::function<void()> body);

}  // namespace kvx
