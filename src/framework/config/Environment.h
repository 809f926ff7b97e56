#pragma once
// The back-end environment the suite talks to, as named in "app.environment".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::domain::model {

enum class Environment : int32_t { Production = 0, Preview = 1, Integration = 2, Dev = 3, Load = 4 };

// The empty text is production; an unknown text is asserted and read as production.
Environment parseEnvironment(std::string_view text);
// An out-of-range value is asserted and named "production".
std::string toString(Environment environment);

// What the domain model root remembers of the environment once static configuration chose it.
struct EnvironmentState {
    std::optional<std::string> text;
    Environment value = Environment::Production;
};

}  // namespace kvx::domain::model
