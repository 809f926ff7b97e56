#include <mutex>

#include "foundation/fs/Filesystem.h"

namespace kvx::fs {

namespace {

std::mutex& replacementMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<IFilesystem>& replacement() {
    static std::shared_ptr<IFilesystem> current;
    return current;
}

}  // namespace

bool IFilesystem::isDirectory(const Path& path) {
    auto result = status(path);
    return result.isOk() && result.peek().type() == std::filesystem::file_type::directory;
}

IFilesystem& filesystem() {
    static Filesystem system;
    std::lock_guard lock(replacementMutex());
    IFilesystem* replaced = replacement().get();
    return replaced != nullptr ? *replaced : system;
}

std::shared_ptr<IFilesystem> setFilesystem(std::shared_ptr<IFilesystem> replacementFilesystem) {
    std::lock_guard lock(replacementMutex());
    return std::exchange(replacement(), std::move(replacementFilesystem));
}

}  // namespace kvx::fs
