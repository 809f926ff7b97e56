#include "framework/config/Environment.h"

#include <array>
#include <utility>

#include "foundation/Assert.h"

namespace kvx::domain::model {
namespace {

constexpr std::array<std::pair<std::string_view, Environment>, 5> kEnvironments{{
    {"production", Environment::Production},
    {"preview", Environment::Preview},
    {"integration", Environment::Integration},
    {"dev", Environment::Dev},
    {"load", Environment::Load},
}};

}  // namespace

Environment parseEnvironment(std::string_view text) {
    if (text.empty()) {
        return Environment::Production;
    }
    for (const auto& [name, value] : kEnvironments) {
        if (name == text) {
            return value;
        }
    }
    KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Unknown environment value [{}]", text);
    return Environment::Production;
}

std::string toString(Environment environment) {
    for (const auto& [name, value] : kEnvironments) {
        if (value == environment) {
            return std::string(name);
        }
    }
    KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "Invalid Environment value [{}]",
                      static_cast<int32_t>(environment));
    return std::string(kEnvironments.front().first);
}

}  // namespace kvx::domain::model
