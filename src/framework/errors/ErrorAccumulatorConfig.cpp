#include <algorithm>
#include <limits>

#include "framework/config/ConfigSystem.h"
#include "framework/errors/ErrorAccumulator.h"

namespace kvx {
namespace {

struct SeverityKeys {
    ErrorSeverity severity;
    const char* windowKey;
    uint32_t defaultWindow;
    const char* countKey;
    uint32_t defaultCount;
};

constexpr SeverityKeys kSeverityKeys[] = {
    {ErrorSeverity::Critical, "app.errorTimeWindowCritical", 0, "app.errorEventCountCritical", 1},
    {ErrorSeverity::Major, "app.errorTimeWindowMajor", 30, "app.errorEventCountMajor", 2},
    {ErrorSeverity::Minor, "app.errorTimeWindowMinor", 30, "app.errorEventCountMinor", 5},
};

}  // namespace

ErrorAccumulatorConfiguration readErrorAccumulatorConfiguration(const config::ConfigSystem& config) {
    ErrorAccumulatorConfiguration configuration;
    for (const auto& keys : kSeverityKeys) {
        const uint32_t count = config.getUInt32(keys.countKey, keys.defaultCount);
        configuration[keys.severity] = {
            config.getUInt32(keys.windowKey, keys.defaultWindow),
            static_cast<int32_t>(std::min<uint32_t>(count, std::numeric_limits<int32_t>::max())),
        };
    }
    return configuration;
}

}  // namespace kvx
