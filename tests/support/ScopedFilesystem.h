#pragma once
// Installs a filesystem as the process-wide one for the lifetime of the object.

#include <memory>
#include <utility>

#include "foundation/fs/IFilesystem.h"

namespace kvx::test {

template <typename Fs>
class ScopedFilesystem {
public:
    explicit ScopedFilesystem(std::shared_ptr<Fs> filesystem)
        : mFilesystem(std::move(filesystem)), mPrevious(fs::setFilesystem(mFilesystem)) {}
    ~ScopedFilesystem() { fs::setFilesystem(std::move(mPrevious)); }
    ScopedFilesystem(const ScopedFilesystem&) = delete;
    ScopedFilesystem& operator=(const ScopedFilesystem&) = delete;

    Fs& operator*() { return *mFilesystem; }
    Fs* operator->() { return mFilesystem.get(); }

private:
    std::shared_ptr<Fs> mFilesystem;
    std::shared_ptr<fs::IFilesystem> mPrevious;
};

}  // namespace kvx::test
