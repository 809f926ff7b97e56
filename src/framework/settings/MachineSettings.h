#pragma once
// machine.ini: the destager's memory across runs. Its pairs live in the configuration system under
// the machine scope; every change of a machine-scope key rewrites the whole file.

#include <cstdint>

#include "framework/config/KVPs.h"

namespace kvx::domain::settings::machine {

// The parsed file; empty (and logged) when it cannot be read.
KVPs loadMachineSettingsFromFile();
// Loads the file and sets its "machine." pairs in the configuration under the machine scope. Not
// `trusted` (its folder was never protected, so any user could have written it): the file is not
// read, a present one is named in a warning, and the run goes on as without one.
void loadMachineSettingsToConfigSys(bool trusted);
// Replaces the file's content with `settings`; failures are logged, not returned.
void saveMachineSettingsToFile(const KVPs& settings);
// Registers the handler that saves every machine-scope key whenever one is set; returns its id.
uint32_t registerMachineSettingsWriteThrough();

}  // namespace kvx::domain::settings::machine
