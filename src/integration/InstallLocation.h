#pragma once
// Where the suite is installed: the application key says so, else the background service's
// registered executable does.

#include <string>

namespace kvx::apps::utils {

// UTF-8; empty when unknown.
std::string getInstallLocation();
// The parent of the service executable's folder; empty (and logged) on failure.
std::string getInstallLocationFromBgsService();

}  // namespace kvx::apps::utils
