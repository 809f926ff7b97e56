#include "process/ClientStartPlan.h"

#include "foundation/Logging.h"

namespace kvx::apps {

std::string singleDashArgument(std::string_view name, std::string_view value) {
    return fmt::format("-{}=\"{}\"", name, value);
}

std::string doubleDashArgument(std::string_view name, std::string_view value) {
    return fmt::format("--{}=\"{}\"", name, value);
}

std::string joinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        line += (line.empty() ? "" : " ") + argument;
    }
    return line;
}

namespace {

void logDesktopStart(const std::vector<std::string>& arguments) {
    KVX_LOG_AS("kvx::apps::startDesktop", services::logging::Info, "Starting Desktop app, args[{}]",
               joinArguments(arguments));
}

}  // namespace

ClientStart planClientStart(bool attended, std::string_view launchHelperArgument, int32_t result) {
    ClientStart start;
    if (result != 0) {
        // The client shows the failure itself; without it nobody would see one.
        if (attended) {
            start = {ClientStartTarget::Desktop,
                     {singleDashArgument("updateDestagerError", std::to_string(result))}};
            logDesktopStart(start.arguments);
        }
    } else if (attended) {
        start.target = ClientStartTarget::Desktop;
        if (!launchHelperArgument.empty()) {
            start.arguments.push_back(doubleDashArgument("launchHelperArgument", launchHelperArgument));
        }
        logDesktopStart(start.arguments);
    } else {
        start = {ClientStartTarget::LaunchHelper,
                 {fmt::format("-{}", "noclient"), fmt::format("-{}", "ktcuNoSkip")}};
        KVX_LOG_AS("kvx::apps::startClient", services::logging::Info, "Starting Launch Helper, args[{}]",
                   joinArguments(start.arguments));
    }
    return start;
}

}  // namespace kvx::apps
