#include "foundation/registry/RegistryTestSupport.h"

#include <fmt/format.h>

namespace kvx::test {

ScopedTestKey::ScopedTestKey(const std::string& name, HKEY root)
    : mRoot(root),
      mPath(fmt::format("Software\\KvxTest-{}-{}-{}", name, GetCurrentProcessId(), GetTickCount64())) {}

ScopedTestKey::~ScopedTestKey() {
    const std::string leaf = mPath.substr(std::string("Software\\").size());
    for (const bool view64 : {true, false}) {
        foundation::RegistryKey software(mRoot, "Software", view64, true);
        software.deleteTree(leaf);
        software.deleteSubKey(leaf, view64);
    }
}

foundation::RegistryKey ScopedTestKey::open(bool view64, bool create) const {
    return foundation::RegistryKey(mRoot, mPath, view64, create);
}

}  // namespace kvx::test
