// The logger benchmark on the build host: log files through POSIX calls, with a flush that reaches
// the disk as FlushFileBuffers does on Windows.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "LoggerBench.h"

namespace kvx::bench {
namespace {

using services::logging::ILogStream;
using services::logging::RenameError;
using services::logging::StreamError;

class PosixLogStream final : public ILogStream {
public:
    explicit PosixLogStream(int fd) : mFd(fd) {}
    // As on Windows, the file is forced to disk only when it is closed.
    ~PosixLogStream() override {
        ::fsync(mFd);
        ::close(mFd);
    }
    PosixLogStream(const PosixLogStream&) = delete;
    PosixLogStream& operator=(const PosixLogStream&) = delete;

    bool write(std::string_view text) override {
        size_t done = 0;
        while (mFailure == 0 && done < text.size()) {
            const ssize_t wrote = ::write(mFd, text.data() + done, text.size() - done);
            if (wrote < 0 && errno != EINTR) {
                mFailure = errno;
            } else if (wrote > 0) {
                done += static_cast<size_t>(wrote);
            }
        }
        return mFailure == 0;
    }
    Result<uint64_t, StreamError> position() override {
        if (mFailure != 0) {
            return Err{StreamError{1, mFailure}};
        }
        const off_t at = ::lseek(mFd, 0, SEEK_CUR);
        if (at < 0) {
            return Err{StreamError{4, errno}};
        }
        return Ok{static_cast<uint64_t>(at)};
    }
    void restore(uint64_t position) override {
        if (::lseek(mFd, static_cast<off_t>(position), SEEK_SET) >= 0) {
            (void)::ftruncate(mFd, static_cast<off_t>(position));
        }
        mFailure = 0;
    }
    // write() leaves nothing in this process to hand over.
    void flush() override {}

private:
    int mFd;
    int mFailure = 0;
};

// The logger joins its file names with a backslash, as on Windows.
std::string hostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class PosixLogStorage final : public services::logging::ILogStorage {
public:
    Result<void, std::string> createDirectories(const std::string& folder) override {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            return Err{error.message()};
        }
        return Ok{};
    }
    Result<std::unique_ptr<ILogStream>, int> openForAppend(const std::string& path) override {
        const int fd = ::open(hostPath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::lseek(fd, 0, SEEK_END) < 0) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            return Err{error};
        }
        return Ok{std::unique_ptr<ILogStream>(std::make_unique<PosixLogStream>(fd))};
    }
    Result<void, RenameError> replaceFile(const std::string& from, const std::string& to) override {
        if (::rename(hostPath(from).c_str(), hostPath(to).c_str()) == 0) {
            return Ok{};
        }
        const int error = errno;
        return Err{RenameError{static_cast<uint32_t>(error), std::strerror(error)}};
    }
    std::vector<std::string> processesHolding(const std::string&) override { return {}; }
};

}  // namespace

std::shared_ptr<services::logging::ILogStorage> benchLogStorage() { return std::make_shared<PosixLogStorage>(); }

void installBenchThreadPlatform() {}

const char* benchPlatformName() { return "native"; }

}  // namespace kvx::bench
