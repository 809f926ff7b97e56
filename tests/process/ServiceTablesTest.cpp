#include <gtest/gtest.h>

#include "process/ServiceTypes.h"

namespace kvx::services::platform {
namespace {

TEST(ServiceTables, TransitionalStatesCollapseIntoPending) {
    EXPECT_EQ(toServiceStatus(ServiceState::Invalid), ServiceStatus::Invalid);
    EXPECT_EQ(toServiceStatus(ServiceState::Stopped), ServiceStatus::Stopped);
    EXPECT_EQ(toServiceStatus(ServiceState::Running), ServiceStatus::Running);
    EXPECT_EQ(toServiceStatus(ServiceState::Paused), ServiceStatus::Paused);
    for (auto pending : {ServiceState::ContinuePending, ServiceState::PausePending, ServiceState::StartPending,
                         ServiceState::StopPending}) {
        EXPECT_EQ(toServiceStatus(pending), ServiceStatus::Pending);
    }
    EXPECT_EQ(toServiceStatus(static_cast<ServiceState>(42)), ServiceStatus::Invalid);
}

TEST(ServiceTables, WindowsNumbersTranslate) {
    const ServiceState states[] = {
        ServiceState::Invalid,      ServiceState::Stopped, ServiceState::StartPending,
        ServiceState::StopPending,  ServiceState::Running, ServiceState::ContinuePending,
        ServiceState::PausePending, ServiceState::Paused,  ServiceState::Invalid};
    for (uint32_t windows = 0; windows < std::size(states); ++windows) {
        EXPECT_EQ(fromWindowsState(windows), states[windows]) << windows;
    }
    EXPECT_EQ(toWindowsStartType(ServiceStartType::Automatic), 2u);
    EXPECT_EQ(toWindowsStartType(ServiceStartType::OnDemand), 3u);
    EXPECT_EQ(toWindowsStartType(ServiceStartType::Disabled), 4u);
    EXPECT_EQ(toWindowsStartType(static_cast<ServiceStartType>(9)), 3u);
}

}  // namespace
}  // namespace kvx::services::platform
