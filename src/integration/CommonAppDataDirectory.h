#pragma once
// The suite's machine-wide application data directory, "<ProgramData>\Korv Desktop".

namespace kvx::apps {

// Creates the directory when the app key does not say it was created already; false when it
// cannot be made (the run then ends).
bool createCommonAppDataDirectory();

}  // namespace kvx::apps
