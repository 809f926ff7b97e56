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
    // Set before opening; files and the gate change through change() and hold().
    std::map<std::string, int> openErrors;
    std::optional<RenameError> renameError;
    std::vector<std::string> holders;

    Result<void, std::string> createDirectories(const std::string&) override { return Ok{}; }
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
        change([&](auto& files) { files[to] = std::exchange(files[from], File{}); });
        return Ok{};
    }
    std::vector<std::string> processesHolding(const std::string&) override { return holders; }

    template <typename Edit>
    void change(Edit edit) {
        std::lock_guard lock(mMutex);
        edit(mFiles);
        mChanged.notify_all();
    }
    // While held, every write waits inside the storage.
    void hold(bool held) {
        change([&](auto&) { mHeld = held; });
    }
    File file(const std::string& path) {
        std::lock_guard lock(mMutex);
        return mFiles[path];
    }
    // Waits for predicate(file, writes held) up to a real limit that only a failing test reaches.
    template <typename Predicate>
    bool waitUntil(const std::string& path, Predicate predicate) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(30),
                                 [&] { return predicate(mFiles[path], mWritesHeld); });
    }

private:
    class Stream final : public services::logging::ILogStream {
    public:
        Stream(FakeLogStorage& storage, std::string path) : mStorage(storage), mPath(std::move(path)) {}
        bool write(std::string_view text) override {
            std::unique_lock lock(mStorage.mMutex);
            ++mStorage.mWritesHeld;
            mStorage.mChanged.notify_all();
            mStorage.mChanged.wait(lock, [this] { return !mStorage.mHeld; });
            --mStorage.mWritesHeld;
            File& file = mStorage.mFiles[mPath];
            if (mFailure != 0) {
                // A failed stream writes nothing until restored.
            } else if (file.nextWriteError != 0) {
                mFailure = std::exchange(file.nextWriteError, 0);
                file.content.append(text.substr(0, text.size() / 2));  // a torn write
            } else if (file.content.size() + text.size() > file.capacity) {
                mFailure = services::logging::kErrnoNoSpace;
                file.content.append(text.substr(0, file.capacity - file.content.size()));
            } else {
                file.content.append(text);
            }
            ++file.writes;
            mStorage.mChanged.notify_all();
            return mFailure == 0;
        }
        Result<uint64_t, services::logging::StreamError> position() override {
            if (mFailure != 0) {
                return Err{services::logging::StreamError{1, mFailure}};
            }
            return Ok{uint64_t{mStorage.file(mPath).content.size()}};
        }
        void restore(uint64_t position) override {
            mStorage.change([&](auto& files) { files[mPath].content.resize(position); });
            mFailure = 0;
        }
        void flush() override {
            mStorage.change([&](auto& files) { ++files[mPath].flushes; });
        }

    private:
        FakeLogStorage& mStorage;
        std::string mPath;
        int mFailure = 0;
    };

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<std::string, File> mFiles;
    bool mHeld = false;
    int mWritesHeld = 0;
};

}  // namespace kvx::test
