#pragma once
// In-memory log files with injectable failures and a gate that stalls the writer thread.

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
    using StreamError = services::logging::StreamError;

    struct File {
        std::string content;
        int writes = 0;
        int flushes = 0;
        bool open = false;
    };

    Result<void, std::string> createDirectories(const std::string& folder) override {
        std::lock_guard lock(mMutex);
        if (mFolderError) {
            return Err{*mFolderError};
        }
        mFolders.push_back(folder);
        return Ok{};
    }

    Result<std::unique_ptr<services::logging::ILogStream>, int> openForAppend(
        const std::string& path) override {
        std::lock_guard lock(mMutex);
        if (auto refused = mOpenErrors.find(path); refused != mOpenErrors.end()) {
            return Err{refused->second};
        }
        mFiles[path].open = true;
        return Ok{std::unique_ptr<services::logging::ILogStream>(std::make_unique<Stream>(*this, path))};
    }

    Result<void, services::logging::RenameError> replaceFile(const std::string& from,
                                                             const std::string& to) override {
        std::lock_guard lock(mMutex);
        if (mRenameError) {
            return Err{*mRenameError};
        }
        mFiles[to] = mFiles[from];
        mFiles.erase(from);
        return Ok{};
    }

    std::vector<std::string> processesHolding(const std::string&) override { return mHolders; }

    // Test controls.
    void refuseFolder(std::string error) { mFolderError = std::move(error); }
    void refuseOpen(const std::string& path, int errnoValue) { mOpenErrors[path] = errnoValue; }
    void refuseRename(services::logging::RenameError error, std::vector<std::string> holders) {
        mRenameError = std::move(error);
        mHolders = std::move(holders);
    }
    void failNextWrite(const std::string& path, int errnoValue) {
        std::lock_guard lock(mMutex);
        mWriteFailures[path] = errnoValue;
    }
    // The file may grow by `bytes` more: a write beyond writes what fits and fails as a full disk.
    void limitRoom(const std::string& path, size_t bytes) {
        std::lock_guard lock(mMutex);
        mCapacities[path] = mFiles[path].content.size() + bytes;
    }
    void setStalled(bool stalled) {
        std::lock_guard lock(mMutex);
        mStalled = stalled;
        mChanged.notify_all();
    }
    // Waits (up to a generous real limit) until the writer blocks on the stall gate.
    bool waitUntilWriterStalled() {
        return waitUntil([this] { return mWritersBlocked > 0; });
    }

    File file(const std::string& path) {
        std::lock_guard lock(mMutex);
        auto found = mFiles.find(path);
        return found == mFiles.end() ? File{} : found->second;
    }
    bool exists(const std::string& path) {
        std::lock_guard lock(mMutex);
        return mFiles.count(path) != 0;
    }
    std::vector<std::string> folders() {
        std::lock_guard lock(mMutex);
        return mFolders;
    }
    // Waits until `predicate(file)` holds; another thread produces the file.
    template <typename Predicate>
    bool waitForFile(const std::string& path, Predicate predicate) {
        return waitUntil([&] { return predicate(mFiles[path]); });
    }

private:
    class Stream final : public services::logging::ILogStream {
    public:
        Stream(FakeLogStorage& storage, std::string path) : mStorage(storage), mPath(std::move(path)) {}
        ~Stream() override {
            std::lock_guard lock(mStorage.mMutex);
            mStorage.mFiles[mPath].open = false;
        }
        bool write(std::string_view text) override {
            mStorage.write(mPath, text, mFailure);
            return mFailure == 0;
        }
        Result<uint64_t, StreamError> position() override {
            std::lock_guard lock(mStorage.mMutex);
            if (mFailure != 0) {
                return Err{StreamError{1, mFailure}};
            }
            return Ok{uint64_t{mStorage.mFiles[mPath].content.size()}};
        }
        void restore(uint64_t position) override {
            std::lock_guard lock(mStorage.mMutex);
            mStorage.mFiles[mPath].content.resize(position);
            mFailure = 0;
        }
        void flush() override {
            std::lock_guard lock(mStorage.mMutex);
            ++mStorage.mFiles[mPath].flushes;
            mStorage.mChanged.notify_all();
        }

    private:
        FakeLogStorage& mStorage;
        std::string mPath;
        int mFailure = 0;
    };

    void write(const std::string& path, std::string_view text, int& failure) {
        std::unique_lock lock(mMutex);
        ++mWritersBlocked;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return !mStalled; });
        --mWritersBlocked;
        if (auto injected = mWriteFailures.find(path); injected != mWriteFailures.end()) {
            failure = injected->second;
            mFiles[path].content.append(text.substr(0, text.size() / 2));  // a torn write
            mWriteFailures.erase(injected);
        } else if (auto capacity = mCapacities.find(path);
                   failure == 0 && capacity != mCapacities.end() &&
                   mFiles[path].content.size() + text.size() > capacity->second) {
            failure = services::logging::kErrnoNoSpace;
            mFiles[path].content.append(text.substr(0, capacity->second - mFiles[path].content.size()));
        } else if (failure == 0) {
            mFiles[path].content.append(text);
        }
        ++mFiles[path].writes;
        mChanged.notify_all();
    }

    template <typename Predicate>
    bool waitUntil(Predicate predicate) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(30), predicate);
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<std::string, File> mFiles;
    std::vector<std::string> mFolders;
    std::optional<std::string> mFolderError;
    std::map<std::string, int> mOpenErrors;
    std::map<std::string, int> mWriteFailures;
    std::map<std::string, size_t> mCapacities;
    std::optional<services::logging::RenameError> mRenameError;
    std::vector<std::string> mHolders;
    bool mStalled = false;
    int mWritersBlocked = 0;
};

}  // namespace kvx::test
