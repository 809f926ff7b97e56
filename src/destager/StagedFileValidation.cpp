#include "destager/StagedFileValidation.h"

#include <zlib.h>

#include <memory>
#include <optional>
#include <vector>

#include "destager/ArchiveEntryPath.h"
#include "destager/ErrorTelemetry.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/archive/ZipCentralDirectory.h"
#include "foundation/fs/IFilesystem.h"
#include "foundation/fs/PathRules.h"

namespace kvx::apps {

namespace {
using services::logging::Error;
using services::logging::Info;

constexpr const char* kValidateFunction = "kvx::apps::tryValidateStagedFiles";
constexpr uint64_t kMaxArchiveSize = 524'288'000;
constexpr uint64_t kMinimumTailLength = 16'384;
constexpr int kReportBudget = 5;
constexpr size_t kCrcChunkSize = 1 << 20;
constexpr uint32_t kShareAll = fs::ShareRead | fs::ShareWrite | fs::ShareDelete;

// The directory is read straight from the archive file; only its tail and directory are touched.
struct OpenArchive {
    std::unique_ptr<fs::IFileStream> stream;
    uint64_t size;
};

std::optional<OpenArchive> openArchive(const fs::Path& zipPath) {
    auto size = fs::filesystem().fileSize(zipPath);
    if (size.isError() || size.peek() == 0 || size.peek() > kMaxArchiveSize) {
        return std::nullopt;
    }
    auto stream = fs::filesystem().open(zipPath, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, kShareAll);
    if (stream.isError()) {
        return std::nullopt;
    }
    return OpenArchive{stream.unwrap(), size.peek()};
}

bool readFully(fs::IFileStream& stream, uint64_t offset, uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        auto got = stream.readAt(offset + done, buffer + done, count - done);
        if (got.isError() || got.peek() == 0) {
            return false;
        }
        done += got.peek();
    }
    return true;
}

archive::RangeReadFunction rangeReaderFor(OpenArchive& archive) {
    return [&archive](const std::string&, const archive::FileOffsets& range)
               -> Result<std::vector<uint8_t>, archive::FileRangeError> {
        if (range.first > range.last || range.last >= archive.size) {
            return Err{archive::FileRangeError{
                fmt::format("range [{}, {}] outside the file of {} bytes", range.first, range.last, archive.size)}};
        }
        std::vector<uint8_t> bytes(range.last - range.first + 1);
        if (!readFully(*archive.stream, range.first, bytes.data(), bytes.size())) {
            return Err{archive::FileRangeError{fmt::format("could not read [{}, {}]", range.first, range.last)}};
        }
        return Ok{std::move(bytes)};
    };
}

// One read buffer for a whole validation run, left uninitialised: zero-filling a fresh chunk per
// file cost more than the reads themselves on large trees.
class CrcChunk {
public:
    CrcChunk() : mBytes(std::make_unique_for_overwrite<uint8_t[]>(kCrcChunkSize)) {}
    uint8_t* data() { return mBytes.get(); }

private:
    std::unique_ptr<uint8_t[]> mBytes;
};

// What one open and read of a staged file found.
enum class FileCheck { Missing, Unreadable, Read };

struct FileCrc {
    FileCheck check;
    uint32_t crc32 = 0;
};

// The open itself answers whether the file is there: a second question (an existence check before
// it) cost a path walk per file under Wine.
FileCrc fileCrc32(const fs::Path& path, CrcChunk& chunk) {
    auto opened = fs::filesystem().open(path, fs::FileAccess::Read, fs::CreateDisposition::OpenExisting, kShareAll);
    if (opened.isError()) {
        return {fs::isNotFoundError(opened.peekError()) ? FileCheck::Missing : FileCheck::Unreadable};
    }
    std::unique_ptr<fs::IFileStream> stream = opened.unwrap();
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        auto got = stream->read(chunk.data(), kCrcChunkSize);
        if (got.isError()) {
            return {FileCheck::Unreadable};
        }
        if (got.peek() == 0) {
            return {FileCheck::Read, static_cast<uint32_t>(crc)};
        }
        crc = crc32(crc, chunk.data(), static_cast<uInt>(got.peek()));
    }
}

// Entries that could resolve outside the folder, or whose names are no UTF-8 and so name no file
// that can be looked for, are treated as missing and never opened.
std::optional<fs::Path> entryPathUnder(const fs::Path& root, const std::string& entryName) {
    std::optional<std::string> relative = internal::entryRelativePath(entryName);
    if (!relative || !foundation::isValidUtf8(relative->data(), static_cast<uint32_t>(relative->size()))) {
        return std::nullopt;
    }
    return fs::Path(root.wide() + L"\\" + fs::Path::fromUtf8(*relative).wide());
}

// Returns true when the entry used one report.
bool validateEntry(const fs::Path& root, const archive::ZipFileInfo& entry, bool destaged, CrcChunk& chunk) {
    const std::optional<fs::Path> path = entryPathUnder(root, entry.fileName);
    const FileCrc file = path ? fileCrc32(*path, chunk) : FileCrc{FileCheck::Missing};
    if (file.check == FileCheck::Missing) {
        addErrorTelemetry(destaged ? kUpecDestagedFileMissing : kUpecStagedFileMissing, kSeverityWarning,
                          "Staged file missing, file[{}]", entry.fileName);
        return true;
    }
    if (file.check == FileCheck::Read && file.crc32 != entry.crc32) {
        addErrorTelemetry(destaged ? kUpecDestagedFileCorrupt : kUpecStagedFileCorrupt, kSeverityWarning,
                          "Staged file corrupt, file[{}]", entry.fileName);
        return true;
    }
    return false;
}

bool isChecked(const archive::ZipFileInfo& entry, bool destaged) {
    if (archive::isDirectory(entry) || archive::isSymlink(entry)) {
        return false;
    }
    if (destaged && fs::startsWithFoldingAsciiCase(entry.fileName, "Destager")) {
        return false;  // the running destager's own files are in use and not swapped
    }
    return entry.crc32 != 0;
}
}  // namespace

void tryValidateStagedFiles(const fs::Path& folder, const fs::Path& zipPath, bool destaged) {
    const fs::Path root = folder.parent();
    KVX_LOG_AS(kValidateFunction, Info, "Validating contents of path[{}] against zip[{}]", folder.utf8(), zipPath.utf8());
    auto zipExists = fs::filesystem().exists(zipPath);
    if (zipExists.isOk() && !zipExists.peek()) {
        KVX_LOG_AS(kValidateFunction, Info, "Skipping validation, zip file does not exist at path[{}]", zipPath.utf8());
        return;
    }
    std::optional<OpenArchive> archive = openArchive(zipPath);
    if (!archive) {
        KVX_LOG_AS(kValidateFunction, Error, "Failed to read zip file[{}]", zipPath.utf8());
        return;
    }
    auto entries = archive::listZipEntries(rangeReaderFor(*archive),
                                           archive::ZipArchiveDescription{"", archive->size, kMinimumTailLength});
    if (entries.isError()) {
        KVX_LOG_AS(kValidateFunction, Error, "Failed to process zip file data, file[{}], error[{}]", zipPath.utf8(),
                   archive::zipErrorKindName(entries.peekError().kind));
        return;
    }
    int budget = kReportBudget;
    CrcChunk chunk;
    for (const archive::ZipFileInfo& entry : entries.peek()) {
        if (budget == 0) {
            break;
        }
        if (isChecked(entry, destaged) && validateEntry(root, entry, destaged, chunk)) {
            --budget;
        }
    }
}

}  // namespace kvx::apps
