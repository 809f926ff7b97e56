#include "foundation/SystemLibrary.h"

#include <gtest/gtest.h>

namespace kvx::foundation {
namespace {

TEST(SystemLibrary, LoadsFromSystem32AndResolvesTypedFunctions) {
    auto library = SystemLibrary::load(L"version.dll");
    ASSERT_TRUE(library.isOk()) << library.peekError().osError;
    auto version = library.unwrap();
    using GetFileVersionInfoSizeWFn = DWORD WINAPI(LPCWSTR, LPDWORD);
    auto fn = version.function<GetFileVersionInfoSizeWFn>("GetFileVersionInfoSizeW");
    ASSERT_TRUE(fn.isOk());
    wchar_t kernel[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(kernel, MAX_PATH), 0u);
    wcscat_s(kernel, L"\\kernel32.dll");
    DWORD handle = 0;
    EXPECT_GT(fn.unwrap()(kernel, &handle), 0u);
}

TEST(SystemLibrary, MissingDllAndFunctionAreErrors) {
    auto missing = SystemLibrary::load(L"kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().name, "kvx-no-such-library.dll");
    EXPECT_EQ(missing.peekError().osError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    auto library = SystemLibrary::load(L"version.dll").unwrap();
    auto fn = library.function<void()>("NoSuchExport");
    EXPECT_EQ(fn.peekError().name, "version.dll!NoSuchExport");
}

TEST(SystemLibrary, RelativePathsOutsideSystem32AreNotSearched) {
    // A DLL beside the executable must not satisfy a System32-only load.
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
