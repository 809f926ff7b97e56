#include "framework/workqueue/NamedThread.h"

#include <atomic>
#include <exception>
#include <system_error>

#include <fmt/format.h>

#include "foundation/Assert.h"
#include "foundation/Logging.h"

namespace kvx {
namespace {

class PortableThreadPlatform final : public IThreadPlatform {
public:
    void nameCurrentThread(const std::string&) override {}
    uint32_t currentThreadId() override {
        thread_local const uint32_t id = ++mLastId;
        return id;
    }
    uint32_t currentProcessId() override { return 0; }
    Result<void, int32_t> initializeCom() override { return Ok{}; }
    void uninitializeCom() override {}

private:
    std::atomic<uint32_t> mLastId{0};
};

PortableThreadPlatform sPortablePlatform;
std::atomic<IThreadPlatform*> sPlatform{&sPortablePlatform};

void announce(const char* function, const std::string& name) {
    threadPlatform().nameCurrentThread(name);
    KVX_LOG_AS(function, services::logging::Verbose, "Thread started [{}], TID:[{}]", name,
               threadPlatform().currentThreadId());
}

Result<std::thread, std::string> startThread(std::function<void()> body) {
    try {
        return Ok{std::thread(std::move(body))};
    } catch (const std::system_error& e) {
        return Err{fmt::format("Unable to start thread: {}", e.what())};
    }
}

}  // namespace

IThreadPlatform& threadPlatform() { return *sPlatform.load(); }

IThreadPlatform* setThreadPlatform(IThreadPlatform* platform) {
    IThreadPlatform* previous = sPlatform.exchange(platform != nullptr ? platform : &sPortablePlatform);
    return previous == &sPortablePlatform ? nullptr : previous;
}

Result<std::thread, std::string> makeNamedThread(const std::string& name, std::function<void()> body) {
    return startThread([name, body = std::move(body)] {
        announce("kvx::makeNamedThread::<lambda_1>::operator ()", name);
        body();
    });
}

Result<std::thread, std::string> makeNamedKorvThread(const std::string& name, std::function<void()> body) {
    return startThread([name, body = std::move(body)] {
        announce("kvx::makeNamedKorvThread::<lambda_1>::operator ()", name);
        auto com = threadPlatform().initializeCom();
        const auto succeeded = [&com] { return com.isOk(); };
        KVX_ASSERT(foundation::AssertLevel::Fatal, succeeded(), "Unable to initalize COM on this thread, result=[{}].",
                   com.isError() ? com.peekError() : 0);
        body();
        if (com.isOk()) {
            threadPlatform().uninitializeCom();
        }
    });
}

}  // namespace kvx
