#pragma once
// Helpers of the application-core tests: the running program's path, app key values, current folder.

#include <windows.h>

#include <optional>
#include <string>

#include "support/ForwardingFilesystem.h"

namespace kvx::test {

// Reports `executable` as the running program's path (none: it cannot be found).
class FakeExecutableFilesystem final : public ForwardingFilesystem {
public:
    explicit FakeExecutableFilesystem(std::optional<fs::Path> executable)
        : mExecutable(std::move(executable)) {}
    Result<fs::Path, fs::OsError> executablePath() override {
        if (!mExecutable) {
            return Err{fs::OsError{ERROR_ACCESS_DENIED}};
        }
        return Ok(*mExecutable);
    }

private:
    std::optional<fs::Path> mExecutable;
};

// Resolves the directory table as the program at `executable` does (not found: no assertion).
void resolveAppDirectoriesFrom(const fs::Path& executable);

// Sets (no value: removes) a value of the app key's 64-bit view until destroyed; callers hold its lock.
class ScopedAppKeyValue {
public:
    ScopedAppKeyValue(std::string name, std::optional<std::wstring> value);
    ~ScopedAppKeyValue();
    ScopedAppKeyValue(const ScopedAppKeyValue&) = delete;
    ScopedAppKeyValue& operator=(const ScopedAppKeyValue&) = delete;

private:
    std::string mName;
    std::optional<std::wstring> mPrevious;
};

// Puts the current folder back when destroyed (a folder in use cannot be removed).
class ScopedCurrentFolder {
public:
    ScopedCurrentFolder();
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

    static std::wstring current();

private:
    std::wstring mFolder;
};

}  // namespace kvx::test
