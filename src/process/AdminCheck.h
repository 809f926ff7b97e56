#pragma once
// Whether this thread's (or else this process's) token belongs to the Administrators group.

namespace kvx::services::process {

bool isTokenAdmin();

}  // namespace kvx::services::process
