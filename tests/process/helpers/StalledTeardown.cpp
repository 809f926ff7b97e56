// A teardown that stalls under the guard in "Quit" mode: ending by itself (0) means it did not fire.
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
    Sleep(15000);
    return 0;
}
