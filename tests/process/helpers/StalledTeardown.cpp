// A program whose teardown stalls under the shutdown guard in its default "Quit" mode. The guard
// must end it with kShutdownTimeoutExitCode; ending by itself (0) means the guard did not fire.
#include <windows.h>

#include <chrono>

#include "foundation/Singleton.h"
#include "framework/config/ConfigSystem.h"
#include "integration/AppKey.h"
#include "process/ShutdownTimeout.h"
#include "support/TestClock.h"

int main() {
    using namespace std::chrono_literals;
    kvx::foundation::utils::Singleton<kvx::config::ConfigSystem>::create();
    auto clock = std::make_shared<kvx::test::TestClock>();
    kvx::apps::ShutdownTimeout guard(kvx::apps::kAppKeyPath, clock);
    guard.init(true);
    guard.stopSignalReceived();
    clock->advance(301s);
    // The stalled teardown.
    Sleep(15000);
    return 0;
}
