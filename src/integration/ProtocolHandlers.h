#pragma once
// Writes the suite's URL-protocol command lines and the legacy client keys back, pointing at the
// executables of the current install.

namespace kvx::systemUtils {

// True when every step succeeded.
bool overwriteProtocolAndSdkPaths();

}  // namespace kvx::systemUtils
