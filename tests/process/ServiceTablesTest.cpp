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
    EXPECT_EQ(fromWindowsState(1), ServiceState::Stopped);
    EXPECT_EQ(fromWindowsState(2), ServiceState::StartPending);
    EXPECT_EQ(fromWindowsState(3), ServiceState::StopPending);
    EXPECT_EQ(fromWindowsState(4), ServiceState::Running);
    EXPECT_EQ(fromWindowsState(5), ServiceState::ContinuePending);
    EXPECT_EQ(fromWindowsState(6), ServiceState::PausePending);
    EXPECT_EQ(fromWindowsState(7), ServiceState::Paused);
    EXPECT_EQ(fromWindowsState(0), ServiceState::Invalid);
    EXPECT_EQ(fromWindowsState(8), ServiceState::Invalid);

    EXPECT_EQ(toWindowsStartType(ServiceStartType::Automatic), 2u);
    EXPECT_EQ(toWindowsStartType(ServiceStartType::OnDemand), 3u);
    EXPECT_EQ(toWindowsStartType(ServiceStartType::Disabled), 4u);
    EXPECT_EQ(toWindowsStartType(static_cast<ServiceStartType>(9)), 3u);
}

}  // namespace
}  // namespace kvx::services::platform
