#include "foundation/security/DirectoryHandle.h"

#include <aclapi.h>

#include "foundation/fs/HandleOpen.h"

namespace kvx::foundation::security {

namespace {

using fs::detail::FileHandle;

// Enough to read what the entry is and to take it over; the take-ownership privilege grants
// WRITE_OWNER whatever the entry's access list says.
constexpr ACCESS_MASK kTakeOverAccess = FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_OWNER;

class Win32DirectoryHandle final : public IDirectoryHandle {
public:
    explicit Win32DirectoryHandle(FileHandle handle) : mHandle(std::move(handle)) {}

    Result<fs::detail::NodeInfo, uint32_t> info() override { return fs::detail::nodeInfo(mHandle.get()); }
    Result<std::wstring, uint32_t> finalPath() override { return fs::detail::finalPathOf(mHandle.get()); }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override {
        return fs::detail::entryNames(mHandle.get());
    }

    Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openEntry(const std::wstring& name,
                                                                  PSECURITY_DESCRIPTOR createWith,
                                                                  bool& created) override {
        auto entry = fs::detail::openRelative(
            mHandle.get(), name, kTakeOverAccess,
            createWith != nullptr ? fs::detail::OpenMode::createFolder : fs::detail::OpenMode::existing,
            createWith);
        if (entry.isError()) {
            return Err(entry.unwrapError());
        }
        created = entry.peek().created;
        return Ok(std::unique_ptr<IDirectoryHandle>(
            std::make_unique<Win32DirectoryHandle>(std::move(entry.unwrap().handle))));
    }

    uint32_t setSecurity(PSID owner, PACL dacl) override {
        if (const DWORD error = SetSecurityInfo(mHandle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                                owner, nullptr, nullptr, nullptr);
            error != ERROR_SUCCESS) {
            return error;
        }
        // Only the new owner may rewrite the access list: the same object again, now with WRITE_DAC.
        auto again = fs::detail::openRelative(mHandle.get(), L"", READ_CONTROL | WRITE_DAC);
        if (again.isError()) {
            return again.unwrapError();
        }
        return SetSecurityInfo(again.peek().handle.get(), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, dacl, nullptr);
    }

private:
    FileHandle mHandle;
};

}  // namespace

Result<std::unique_ptr<IDirectoryHandle>, uint32_t> openPrefixDirectory(const fs::Path& prefix) {
    FileHandle handle(CreateFileW(prefix.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return Err(fs::detail::lastOsError());
    }
    return Ok(std::unique_ptr<IDirectoryHandle>(std::make_unique<Win32DirectoryHandle>(std::move(handle))));
}

}  // namespace kvx::foundation::security
