#include <unordered_map>

#include "process/ServiceTypes.h"

namespace kvx::services::platform {
namespace {

constexpr uint32_t kWindowsAutoStart = 2;
constexpr uint32_t kWindowsDemandStart = 3;
constexpr uint32_t kWindowsDisabled = 4;

}  // namespace

ServiceStatus toServiceStatus(ServiceState state) {
    static const std::unordered_map<ServiceState, ServiceStatus> table{
        {ServiceState::Invalid, ServiceStatus::Invalid},
        {ServiceState::ContinuePending, ServiceStatus::Pending},
        {ServiceState::PausePending, ServiceStatus::Pending},
        {ServiceState::Paused, ServiceStatus::Paused},
        {ServiceState::Running, ServiceStatus::Running},
        {ServiceState::StartPending, ServiceStatus::Pending},
        {ServiceState::StopPending, ServiceStatus::Pending},
        {ServiceState::Stopped, ServiceStatus::Stopped},
    };
    const auto found = table.find(state);
    return found != table.end() ? found->second : ServiceStatus::Invalid;
}

uint32_t toWindowsStartType(ServiceStartType startType) {
    static const std::unordered_map<ServiceStartType, uint32_t> table{
        {ServiceStartType::Automatic, kWindowsAutoStart},
        {ServiceStartType::OnDemand, kWindowsDemandStart},
        {ServiceStartType::Disabled, kWindowsDisabled},
    };
    const auto found = table.find(startType);
    return found != table.end() ? found->second : kWindowsDemandStart;
}

ServiceState fromWindowsState(uint32_t currentState) {
    switch (currentState) {
        case 1: return ServiceState::Stopped;
        case 2: return ServiceState::StartPending;
        case 3: return ServiceState::StopPending;
        case 4: return ServiceState::Running;
        case 5: return ServiceState::ContinuePending;
        case 6: return ServiceState::PausePending;
        case 7: return ServiceState::Paused;
        default: return ServiceState::Invalid;
    }
}

}  // namespace kvx::services::platform
