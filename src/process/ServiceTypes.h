#pragma once
// States of a Windows service as the program sees them, and the fixed translations between
// Windows' numbers and the program's.

#include <cstdint>

namespace kvx::services::platform {

enum class ServiceState : uint32_t {
    Invalid = 0,
    ContinuePending = 1,
    PausePending = 2,
    Paused = 3,
    Running = 4,
    StartPending = 5,
    StopPending = 6,
    Stopped = 7,
};

// What callers poll: the transitional states collapse into Pending.
enum class ServiceStatus : uint32_t {
    Invalid = 0,
    NotInstalled = 1,
    Stopped = 2,
    Running = 3,
    Paused = 4,
    Pending = 5,
};

enum class OpenResult : uint32_t { Error = 0, Opened = 1, NotPresent = 2 };

enum class ServiceStartType : uint32_t { Automatic = 0, OnDemand = 1, Disabled = 2 };

// A state not in the table gives Invalid.
ServiceStatus toServiceStatus(ServiceState state);
// Windows' start type (auto 2, demand 3, disabled 4); any other value gives demand start.
uint32_t toWindowsStartType(ServiceStartType startType);
// Windows' dwCurrentState 1..7; anything else gives Invalid (the caller reports it).
ServiceState fromWindowsState(uint32_t currentState);

}  // namespace kvx::services::platform
