#pragma once
// The suite's application key, HKLM "Software\Tessory\Korv Desktop", in either registry view.

#include "foundation/registry/RegistryKey.h"

namespace kvx::apps {

inline constexpr const char* kAppKeyPath = "Software\\Tessory\\Korv Desktop";

// With `create` the key is created when missing and opened for writing; otherwise read-only.
foundation::RegistryKey openAppKey(bool create, bool view64);

}  // namespace kvx::apps
