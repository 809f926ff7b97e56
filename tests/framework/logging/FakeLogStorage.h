#pragma once
// In-memory log files with injectable failures and a gate that holds the writer inside a write.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/logging/LogStorage.h"

namespace kvx::test {

class FakeLogStorage final : public services::logging::ILogStorage {
public:
    using RenameError = services::logging::RenameError;
    struct File {
        std::string content;
        int writes = 0;
        int flushes = 0;
        size_t capacity = SIZE_MAX;  // a write beyond writes what fits and fails as a full disk
        int nextWriteError = 0;      // the next write writes half its text and fails with this errno
    };
    // Set before opening; files and the gate change through change().
    std::optional<std::string> folderError;
    std::map<std::string, int> openErrors;
    std::optional<RenameError> renameError;
    std::vector<std::string> holders;

    Result<void, std::string> createDirectories(const std::string&) override {
        if (folderError) {
            return Err{*folderError};
        }
        return Ok{};
    }
    Result<std::unique_ptr<services::logging::ILogStream>, int> openForAppend(
        const std::string& path) override {
        if (openErrors.contains(path)) {
            return Err{openErrors.at(path)};
        }
        return Ok{std::unique_ptr<services::logging::ILogStream>(std::make_unique<Stream>(*this, path))};
    }
    Result<void, RenameError> replaceFile(const std::string& from, const std::string& to) override {
        if (renameError) {
            return Err{*renameError};
        }
        change([&](auto& files, bool&) { files[to] = std::exchange(files[from], File{}); });
        return Ok{};
    }
    std::vector<std::string> processesHolding(const std::string&) override { return holders; }

    // Runs `edit(files, held)` under the lock; while `held` is set every write waits inside the storage.
    template <typename Edit>
    void change(Edit edit) {
        std::lock_guard lock(mMutex);
        edit(mFiles, mHeld);
        mChanged.notify_all();
    }
    File file(const std::string& path) {
        std::lock_guard lock(mMutex);
        return mFiles[path];
    }
    // Waits (up to a generous real limit, reached only when the test fails) for the writer thread.
    template <typename Predicate>
    bool waitUntil(Predicate predicate) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(30),
                                 [&] { return predicate(mFiles, mWritesHeld); });
    }

private:
    class Stream final : public services::logging::ILogStream {
    public:
        Stream(FakeLogStorage& storage, std::string path) : mStorage(storage), mPath(std::move(path)) {}
        bool write(std::string_view text) override {
            mStorage.write(mPath, text, mFailure);
            return mFailure == 0;
        }
        Result<uint64_t, services::logging::StreamError> position() override {
            if (mFailure != 0) {
                return Err{services::logging::StreamError{1, mFailure}};
            }
            uint64_t size = 0;
            mStorage.change([&](auto& files, bool&) { size = files[mPath].content.size(); });
            return Ok{size};
        }
        void restore(uint64_t position) override {
            mStorage.change([&](auto& files, bool&) { files[mPath].content.resize(position); });
            mFailure = 0;
        }
        void flush() override {
            mStorage.change([&](auto& files, bool&) { ++files[mPath].flushes; });
        }

    private:
        FakeLogStorage& mStorage;
        std::string mPath;
        int mFailure = 0;
    };

    void write(const std::string& path, std::string_view text, int& failure) {
        std::unique_lock lock(mMutex);
        ++mWritesHeld;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return !mHeld; });
        --mWritesHeld;
        File& file = mFiles[path];
        if (failure != 0) {
            // A failed stream writes nothing until restored.
        } else if (file.nextWriteError != 0) {
            failure = std::exchange(file.nextWriteError, 0);
            file.content.append(text.substr(0, text.size() / 2));  // a torn write
        } else if (file.content.size() + text.size() > file.capacity) {
            failure = services::logging::kErrnoNoSpace;
            file.content.append(text.substr(0, file.capacity - file.content.size()));
        } else {
            file.content.append(text);
        }
        ++file.writes;
        mChanged.notify_all();
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<std::string, File> mFiles;
    bool mHeld = false;
    int mWritesHeld = 0;
};

}  // namespace kvx::test
