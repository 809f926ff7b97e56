#include "foundation/fs/HandleOpen.h"

#include <winternl.h>

#include <array>

#include "foundation/fs/Win32Paths.h"

namespace kvx::fs::detail {

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The toolchain's headers declare this class only for newer targets.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
constexpr size_t kListingBufferSize = 64 * 1024;

class HandleNode final : public IRemovalNode {
public:
    explicit HandleNode(FileHandle handle) : mHandle(std::move(handle)) {}
    Result<NodeInfo, uint32_t> info() override { return nodeInfo(mHandle.get()); }
    Result<std::vector<std::wstring>, uint32_t> entryNames() override { return detail::entryNames(mHandle.get()); }
    Result<std::unique_ptr<IRemovalNode>, uint32_t> openEntry(const std::wstring& name) override {
        auto entry = openRelative(mHandle.get(), name, kRemovalAccess);
        if (entry.isError()) {
            return Err(entry.unwrapError());
        }
        return Ok(removalNode(std::move(entry.unwrap().handle)));
    }
    uint32_t deleteSelf() override { return deleteByHandle(mHandle.get()); }

private:
    FileHandle mHandle;
};

bool setDisposition(HANDLE handle) {
    FILE_DISPOSITION_INFO_EX posix{kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
    if (SetFileInformationByHandle(handle, kFileDispositionInfoEx, &posix, sizeof(posix))) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) {
        return false;
    }
    FILE_DISPOSITION_INFO plain{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &plain, sizeof(plain)) != FALSE;
}

}  // namespace

Result<FileHandle, uint32_t> openNoFollow(const Path& path, ACCESS_MASK access) {
    FileHandle handle(CreateFileW(win32Path(path).c_str(), access | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        return Err(lastOsError());
    }
    return Ok(std::move(handle));
}

Result<OpenedEntry, uint32_t> openRelative(HANDLE parent, std::wstring_view name, ACCESS_MASK access,
                                           OpenMode mode, PSECURITY_DESCRIPTOR descriptor) {
    UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)), const_cast<wchar_t*>(name.data())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, descriptor);
    IO_STATUS_BLOCK status{};
    HANDLE opened = nullptr;
    const bool create = mode == OpenMode::createFolder;
    const NTSTATUS result = NtCreateFile(
        &opened, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, kShareAll,
        create ? FILE_OPEN_IF : FILE_OPEN,
        FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT |
            (create ? FILE_DIRECTORY_FILE : 0),
        nullptr, 0);
    if (!NT_SUCCESS(result)) {
        return Err(static_cast<uint32_t>(RtlNtStatusToDosError(result)));
    }
    return Ok(OpenedEntry{FileHandle(opened), create && status.Information == FILE_CREATED});
}

Result<NodeInfo, uint32_t> nodeInfo(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
        return Err(lastOsError());
    }
    return Ok(NodeInfo{tag.FileAttributes, tag.ReparseTag});
}

Result<std::vector<std::wstring>, uint32_t> entryNames(HANDLE folder) {
    // The same folder again (an empty name relative to it), now for listing.
    auto listing = openRelative(folder, L"", FILE_LIST_DIRECTORY);
    if (listing.isError()) {
        return Err(listing.unwrapError());
    }
    const HANDLE handle = listing.peek().handle.get();
    std::vector<std::wstring> names;
    std::vector<LONGLONG> buffer(kListingBufferSize / sizeof(LONGLONG));  // aligned as the records need
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle, query, buffer.data(), kListingBufferSize)) {
        query = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
        for (;;) {
            const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                names.push_back(name);
            }
            if (record->NextEntryOffset == 0) {
                break;
            }
            bytes += record->NextEntryOffset;
        }
    }
    if (const uint32_t error = lastOsError(); error != ERROR_NO_MORE_FILES) {
        return Err(error);
    }
    return Ok(std::move(names));
}

uint32_t deleteByHandle(HANDLE handle) {
    if (setDisposition(handle)) {
        return ERROR_SUCCESS;
    }
    const uint32_t error = lastOsError();
    auto info = nodeInfo(handle);
    if (error != ERROR_ACCESS_DENIED || info.isError() || (info.peek().attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return error;
    }
    // Read-only files go too: an old client folder must go away whole. Zero times stay unchanged.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = info.peek().attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) || !setDisposition(handle)) {
        return lastOsError();
    }
    return ERROR_SUCCESS;
}

Result<std::wstring, uint32_t> finalPathOf(HANDLE handle) {
    return growingPathQuery([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

std::unique_ptr<IRemovalNode> removalNode(FileHandle handle) {
    return std::make_unique<HandleNode>(std::move(handle));
}

}  // namespace kvx::fs::detail
