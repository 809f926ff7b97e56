#pragma once
// The destager's command line: three valued options written "--name=value" and two switches
// written "-name" or "/name". Unknown arguments are ignored, never an error.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::apps::destager {

enum class Action : uint32_t { Install = 0, Update = 1, Repair = 2 };
enum class Mode : uint32_t { Unspecified = 0, Normal = 1, Luna = 2, Flint = 3 };

struct DestagerOptions {
    Action action = Action::Update;
    Mode mode = Mode::Unspecified;
    bool noDesktopShortcut = false;
    // False for a background update: the client itself is not relaunched.
    bool attended = true;
    std::string launchHelperArgument;
};

// Exact, case-sensitive names ("install", "update", "repair"; "unspecified", "normal", "luna", "flint").
std::optional<Action> actionFromName(std::string_view name);
std::optional<Mode> modeFromName(std::string_view name);
const char* actionName(Action action);
const char* modeName(Mode mode);

// Examines argv[1..argc-1] in order; later arguments overwrite earlier ones.
DestagerOptions parseCommandLine(int argc, const char* const* argv);

// The quoted program path followed by the arguments, each quoted only where it must be, so that
// Windows splits the line back into exactly these arguments (CommandLineToArgvW's rules).
std::string commandLineOf(std::string_view program, const std::vector<std::string>& arguments);

}  // namespace kvx::apps::destager
