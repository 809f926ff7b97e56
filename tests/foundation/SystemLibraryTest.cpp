#include "foundation/SystemLibrary.h"

#include <gtest/gtest.h>

namespace kvx::foundation {
namespace {

TEST(SystemLibrary, MissingLibrariesAndFunctionsAreNamedInTheirErrors) {
    auto missing = SystemLibrary::load(L"kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().name, "kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().osError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    auto library = SystemLibrary::load(L"version.dll").unwrap();
    EXPECT_TRUE(library.function<DWORD WINAPI(LPCWSTR, LPDWORD)>("GetFileVersionInfoSizeW").isOk());
    EXPECT_EQ(library.function<void()>("NoSuchExport").peekError().name, "version.dll!NoSuchExport");
}

TEST(SystemLibrary, ADllBesideTheExecutableDoesNotSatisfyTheLoad) {
    wchar_t exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    std::wstring planted(exe);
    planted = planted.substr(0, planted.find_last_of(L"\\/") + 1) + L"kvxplanted.dll";
    ASSERT_TRUE(CopyFileW(exe, planted.c_str(), FALSE));
    auto result = SystemLibrary::load(L"kvxplanted.dll");
    DeleteFileW(planted.c_str());
    EXPECT_TRUE(result.isError());
}

}  // namespace
}  // namespace kvx::foundation
