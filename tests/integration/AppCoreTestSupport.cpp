#include "integration/AppCoreTestSupport.h"

#include <gtest/gtest.h>

#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "support/Capture.h"
#include "support/ScopedFilesystem.h"

namespace kvx::test {

void resolveAppDirectoriesFrom(const fs::Path& executable) {
    ScopedFilesystem running(std::make_shared<FakeExecutableFilesystem>(executable));
    ScopedAssertCapture notFound;
    apps::utils::resolveAppDirectories();
}

ScopedAppKeyValue::ScopedAppKeyValue(std::string name, std::optional<std::wstring> value)
    : mName(std::move(name)) {
    auto key = apps::openAppKey(true, true);
    if (key.valueExists(mName)) {
        mPrevious = key.get<std::wstring>(mName);
    }
    if (value) {
        EXPECT_TRUE(key.set(mName, std::wstring_view(*value)));
    } else if (mPrevious) {
        EXPECT_TRUE(key.deleteValue(mName));
    }
}

ScopedAppKeyValue::~ScopedAppKeyValue() {
    auto key = apps::openAppKey(true, true);
    if (mPrevious) {
        key.set(mName, std::wstring_view(*mPrevious));
    } else {
        key.deleteValue(mName);
    }
}

ScopedCurrentFolder::ScopedCurrentFolder() : mFolder(current()) {}

ScopedCurrentFolder::~ScopedCurrentFolder() {
    SetCurrentDirectoryW(mFolder.c_str());
}

std::wstring ScopedCurrentFolder::current() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

}  // namespace kvx::test
