#include "framework/logging/Win32LogStorage.h"

#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "foundation/TextConversion.h"
#include "foundation/win/AutoHandle.h"

namespace kvx::services::logging {
namespace {

// The stream rules speak errno, as a C++ stream reports it.
int errnoFromWin32(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        default:
            return EIO;
    }
}

// Opened for appending only, so every write lands at the end of the file whoever else writes to it.
class Win32LogStream final : public ILogStream {
public:
    Win32LogStream(WinUtils::AutoHandle file, std::wstring path)
        : mFile(std::move(file)), mPath(std::move(path)) {}
    // The one place the file is forced to disk: closing, which includes rotation.
    ~Win32LogStream() override { FlushFileBuffers(mFile.get()); }
    Win32LogStream(const Win32LogStream&) = delete;
    Win32LogStream& operator=(const Win32LogStream&) = delete;

    bool write(std::string_view text) override {
        if (mFailure != 0) {
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(mFile.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            const DWORD error = GetLastError();
            mFailure = error != ERROR_SUCCESS ? error : ERROR_DISK_FULL;
            return false;
        }
        return true;
    }

    // An appending file is always positioned at its end.
    Result<uint64_t, StreamError> position() override {
        if (mFailure != 0) {
            return Err{StreamError{kBadBit, errnoFromWin32(mFailure)}};
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(mFile.get(), &size)) {
            return Err{StreamError{kFailBit, errnoFromWin32(GetLastError())}};
        }
        return Ok{static_cast<uint64_t>(size.QuadPart)};
    }

    // An appending handle cannot cut the file short; a second one, opened for this, does.
    void restore(uint64_t position) override {
        const WinUtils::AutoHandle file(CreateFileW(mPath.c_str(), GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER target{};
        target.QuadPart = static_cast<LONGLONG>(position);
        if (file && SetFilePointerEx(file.get(), target, nullptr, FILE_BEGIN)) {
            SetEndOfFile(file.get());
        }
        mFailure = 0;
    }

    // WriteFile keeps nothing in this process, so the system already holds every byte written.
    void flush() override {}

private:
    static constexpr int kBadBit = kStreamBadBit;
    static constexpr int kFailBit = 4;

    WinUtils::AutoHandle mFile;
    std::wstring mPath;
    DWORD mFailure = 0;
};

class Win32LogStorage final : public ILogStorage {
public:
    explicit Win32LogStorage(FileHolders holders) : mHolders(std::move(holders)) {}

    Result<void, std::string> createDirectories(const std::string& folder) override {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(foundation::widen(folder, KVX_SOURCE_LOCATION)), error);
        if (error) {
            return Err{fmt::format("{}: {}", error.value(), error.message())};
        }
        return Ok{};
    }

    Result<std::unique_ptr<ILogStream>, int> openForAppend(const std::string& path) override {
        std::wstring widePath = foundation::widen(path, KVX_SOURCE_LOCATION);
        constexpr DWORD kAppendOnly = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        WinUtils::AutoHandle file(CreateFileW(widePath.c_str(), kAppendOnly,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return Err{errnoFromWin32(GetLastError())};
        }
        return Ok{std::unique_ptr<ILogStream>(
            std::make_unique<Win32LogStream>(std::move(file), std::move(widePath)))};
    }

    Result<void, RenameError> replaceFile(const std::string& from, const std::string& to) override {
        if (MoveFileExW(foundation::widen(from, KVX_SOURCE_LOCATION).c_str(), foundation::widen(to, KVX_SOURCE_LOCATION).c_str(),
                        MOVEFILE_REPLACE_EXISTING)) {
            return Ok{};
        }
        const DWORD error = GetLastError();
        return Err{RenameError{error, std::system_category().message(static_cast<int>(error))}};
    }

    std::vector<std::string> processesHolding(const std::string& path) override {
        return mHolders ? mHolders(path) : std::vector<std::string>{};
    }

private:
    FileHolders mHolders;
};

}  // namespace

std::shared_ptr<ILogStorage> makeWin32LogStorage(FileHolders holders) {
    return std::make_shared<Win32LogStorage>(std::move(holders));
}

LoggerEnvironment win32LoggerEnvironment(FileHolders holders) {
    LoggerEnvironment environment;
    environment.storage = makeWin32LogStorage(std::move(holders));
    return environment;
}

}  // namespace kvx::services::logging
