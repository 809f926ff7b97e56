#include "foundation/fs/FileFunctions.h"

#include "foundation/Logging.h"
#include "foundation/SafeFormat.h"
#include "foundation/fs/IFilesystem.h"

namespace kvx::foundation::file {

namespace {

constexpr const char* kWriteFileFunction = "kvx::foundation::file::writeFile";

// The permission bits the layer reports for the path; "unknown" (65535) when it cannot say.
uint32_t permissionBits(const fs::Path& path) {
    auto status = fs::filesystem().status(path);
    return status.isOk() ? static_cast<uint32_t>(status.peek().permissions()) : kUnknownAttributes;
}

FileReadError readError(uint32_t kind, uint32_t errorCode, const fs::Path& path) {
    return FileReadError{kind, errorCode, permissionBits(path)};
}

}  // namespace

std::string FileReadError::toString() const {
    switch (kind) {
        case None:
            return "No error";
        case DoesNotExist:
            return safeFormat("File does not exist. errorCode[{}], fileAttributes[{}]", errorCode,
                              fileAttributes);
        case CouldNotOpen:
            return safeFormat("Could not open file. errorCode[{}], fileAttributes[{}]", errorCode,
                              fileAttributes);
        case Empty:
            return "File is empty";
        case TooLarge:
            return "File is too large";
        case IncompleteRead:
            return safeFormat("Incomplete read. errorCode[{}], fileAttributes[{}]", errorCode,
                              fileAttributes);
        default:
            return "Unknown error";
    }
}

Result<std::vector<uint8_t>, FileReadError> readFile(const fs::Path& path, uint64_t maxSize) {
    auto& system = fs::filesystem();
    auto opened = system.open(path, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting,
                              fs::ShareRead | fs::ShareWrite | fs::ShareDelete);
    if (opened.isError()) {
        const uint32_t error = opened.unwrapError();
        auto exists = system.exists(path);
        const bool present = exists.isOk() && exists.peek();
        return Err(
            readError(present ? FileReadError::CouldNotOpen : FileReadError::DoesNotExist, error, path));
    }
    auto stream = opened.unwrap();
    auto size = stream->size();
    if (size.isError()) {
        return Err(readError(FileReadError::IncompleteRead, size.unwrapError(), path));
    }
    if (size.peek() == 0) {
        return Err(readError(FileReadError::Empty, 0, path));
    }
    if (size.peek() > maxSize) {
        return Err(readError(FileReadError::TooLarge, 0, path));
    }
    auto bytes = stream->readAll();
    if (bytes.isError()) {
        return Err(readError(FileReadError::IncompleteRead, bytes.unwrapError(), path));
    }
    return Ok(bytes.unwrap());
}

Result<void, WriteFileError> writeFile(const fs::Path& path, std::span<const uint8_t> bytes) {
    auto opened = fs::filesystem().open(path, fs::FileAccess::Write, fs::CreateDisposition::CreateAlways,
                                        fs::ShareNone);
    if (opened.isError()) {
        const uint32_t error = opened.unwrapError();
        KVX_LOG_AS(kWriteFileFunction, services::logging::Error,
                   "Couldn't open file for writing fileName[{}], error[{}]", path.utf8(), error);
        return Err(WriteFileError{error, permissionBits(path)});
    }
    auto written = opened.peek()->write(bytes);
    if (written.isError()) {
        const uint32_t error = written.unwrapError();
        KVX_LOG_AS(kWriteFileFunction, services::logging::Error, "Couldn't write to fileName[{}], error[{}]",
                   path.utf8(), error);
        return Err(WriteFileError{error, permissionBits(path)});
    }
    return Ok();
}

}  // namespace kvx::foundation::file
