#pragma once
// Relaunches the client (or, after an unattended update, the launch helper) as the interactive,
// unelevated user, by the first variant that works: through the desktop shell (which runs as the
// user), with the interactive session's user token, or, when the destager is not elevated, with
// its own credentials. No launch failure changes the run's result; each is logged.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/update/DestagerOptions.h"

namespace kvx::apps {

// Where the client and the launch helper lie, as resolved at start-up by the layer that knows the
// install.
struct RelaunchDirectories {
    std::string desktop;
    std::string launchHelper;
};

// Decides what to start from the attended flag, the launch-helper argument and the update's result.
void startClient(const destager::DestagerOptions& options, int32_t result,
                 const RelaunchDirectories& directories);

bool startDesktop(const std::string& directory, const std::vector<std::string>& arguments);
bool startLaunchHelper(const std::string& directory, const std::vector<std::string>& arguments);
// `exe` from `dir`; `asUser` asks for the interactive user when this process is elevated.
bool startExecutable(const std::string& dir, const std::string& exe,
                     const std::vector<std::string>& arguments, bool asUser);

// The variants, in the order they are tried.
bool startExecUsingExplorerCred(const std::string& exe, const std::string& dir, const std::string& arguments);
bool startExecUsingInteractiveSession(const std::string& path, const std::string& dir,
                                      const std::string& arguments);
bool startExecWithSameCredentials(const std::string& path, const std::string& arguments);

}  // namespace kvx::apps
