#include "foundation/update/DestagerOptions.h"

#include <array>
#include <map>

namespace kvx::apps::destager {
namespace {

constexpr std::array<const char*, 3> kActionNames = {"install", "update", "repair"};
constexpr std::array<const char*, 4> kModeNames = {"unspecified", "normal", "luna", "flint"};

template <typename Enum, size_t N>
const std::map<std::string, Enum, std::less<>>& nameTable(const std::array<const char*, N>& names) {
    // Built once, on first use; static initialisation is thread-safe.
    static const auto table = [&names] {
        std::map<std::string, Enum, std::less<>> built;
        for (size_t i = 0; i < N; ++i) {
            built.emplace(names[i], static_cast<Enum>(i));
        }
        return built;
    }();
    return table;
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// "name=value" where the '=' stands right after the name; returns the value.
std::optional<std::string_view> valueOf(std::string_view option, std::string_view name) {
    if (option.size() <= name.size() || !option.starts_with(name) || option[name.size()] != '=') {
        return std::nullopt;
    }
    return option.substr(name.size() + 1);
}

void applyValuedOption(std::string_view option, DestagerOptions& options) {
    if (auto value = valueOf(option, "launchHelperArgument"); value && !value->empty()) {
        options.launchHelperArgument = std::string(*value);
    } else if (auto action = valueOf(option, "action")) {
        if (auto parsed = actionFromName(*action)) {
            options.action = *parsed;
        }
    } else if (auto mode = valueOf(option, "mode")) {
        if (auto parsed = modeFromName(*mode)) {
            options.mode = *parsed;
        }
    }
}

void applySwitch(std::string_view name, DestagerOptions& options) {
    if (name == "noclient") {
        options.attended = false;
    } else if (name == "no-desktop-shortcut") {
        options.noDesktopShortcut = true;
    }
}

}  // namespace

std::optional<Action> actionFromName(std::string_view name) {
    const auto& table = nameTable<Action>(kActionNames);
    const auto found = table.find(name);
    return found == table.end() ? std::nullopt : std::optional(found->second);
}

std::optional<Mode> modeFromName(std::string_view name) {
    const auto& table = nameTable<Mode>(kModeNames);
    const auto found = table.find(name);
    return found == table.end() ? std::nullopt : std::optional(found->second);
}

const char* actionName(Action action) {
    const auto index = static_cast<size_t>(action);
    return index < kActionNames.size() ? kActionNames[index] : "unknown";
}

const char* modeName(Mode mode) {
    const auto index = static_cast<size_t>(mode);
    return index < kModeNames.size() ? kModeNames[index] : "unknown";
}

DestagerOptions parseCommandLine(int argc, const char* const* argv) {
    DestagerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = trim(argv[i] == nullptr ? "" : argv[i]);
        if (argument.starts_with("--")) {
            applyValuedOption(argument.substr(2), options);
        } else if (argument.starts_with('-') || argument.starts_with('/')) {
            applySwitch(argument.substr(1), options);
        }
    }
    return options;
}

namespace {

// Backslashes are literal except before a quote, so a run of them doubles where a quote follows,
// the closing one included.
std::string quotedArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

}  // namespace

std::string commandLineOf(std::string_view program, const std::vector<std::string>& arguments) {
    // The program's own quotes take no escapes: a path holds no quote.
    std::string line = "\"" + std::string(program) + "\"";
    for (const std::string& argument : arguments) {
        line += " " + quotedArgument(argument);
    }
    return line;
}

}  // namespace kvx::apps::destager
