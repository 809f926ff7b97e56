#pragma once
// Relaunches the client (or, after an unattended update, the launch helper) as the interactive user.

#include <cstdint>

#include "foundation/update/DestagerOptions.h"

namespace kvx::apps {

// Decides what to start from the attended flag, the launch-helper argument and the update's result.
void startClient(const destager::DestagerOptions& options, int32_t result);

}  // namespace kvx::apps
