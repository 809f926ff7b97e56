#pragma once
// The installed suite as its stop sees it: the install location and third-party availability.

#include "process/SuiteInstall.h"

namespace kvx::apps::suite {

// One per process; stateless.
SuiteInstall& installedSuite();

}  // namespace kvx::apps::suite
