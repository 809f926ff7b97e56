#pragma once
// What the application core needs from a program of the installed suite: its directory table,
// whether machine.ini can be trusted, TLS 1.2, the start-up banner and who holds a file open.

#include "framework/app/AppCoreParams.h"

namespace kvx::apps::utils {

// Every hook filled; a program that must not resolve the directory table clears that one.
AppCoreHooks suiteAppCoreHooks();

}  // namespace kvx::apps::utils
