#pragma once
// What the destager starts once the update is over, and with which arguments: the client (with
// the update's error after a failed attended run), the launch helper after an unattended success,
// or nothing after an unattended failure.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::apps {

enum class ClientStartTarget { None, Desktop, LaunchHelper };

struct ClientStart {
    ClientStartTarget target = ClientStartTarget::None;
    std::vector<std::string> arguments;
};

// Decides, and logs what is started ("Starting Desktop app, args[..]", "Starting Launch Helper,
// args[..]"); the failure itself is logged by the caller once the start is over.
ClientStart planClientStart(bool attended, std::string_view launchHelperArgument, int32_t result);

// "-name=\"value\"" and "--name=\"value\"": the value goes inside the quotes unchanged.
std::string singleDashArgument(std::string_view name, std::string_view value);
std::string doubleDashArgument(std::string_view name, std::string_view value);

// The arguments as one command line, separated by single blanks.
std::string joinArguments(const std::vector<std::string>& arguments);

}  // namespace kvx::apps
