#pragma once
// Special-directory redirections taken from the configuration ("qa.specialDirectory.<name>").

namespace kvx::foundation {

// Registers every "qa.specialDirectory.<name>" key with a non-empty value as that directory's path,
// replacing all earlier redirections. Called at the end of static configuration processing.
void registerSpecialDirectoryRedirections();

}  // namespace kvx::foundation
