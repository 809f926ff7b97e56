#include "destager/StagedFileValidation.h"

#include <memory>
#include <optional>
#include <vector>

#include "destager/ArchiveEntryPath.h"
#include "destager/ErrorTelemetry.h"
#include "destager/StagedFileCrcs.h"
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

// Entries that could resolve outside the folder, or whose names are no UTF-8 and so name no file
// that can be looked for, are treated as missing and never opened.
std::wstring entryPathUnder(const fs::Path& root, std::string_view entryName) {
    std::optional<std::string> relative = internal::entryRelativePath(entryName);
    if (!relative || !foundation::isValidUtf8(relative->data(), static_cast<uint32_t>(relative->size()))) {
        return {};
    }
    return root.wide() + L"\\" + foundation::widen(*relative, KVX_SOURCE_LOCATION);
}

// Returns true when the entry used one report.
bool reportEntry(const archive::ZipFileInfo& entry, const internal::FileCrc& file, bool destaged) {
    if (file.check == internal::FileCheck::Missing) {
        addErrorTelemetry(destaged ? kUpecDestagedFileMissing : kUpecStagedFileMissing, kSeverityWarning,
                          "Staged file missing, file[{}]", entry.fileName);
        return true;
    }
    if (file.check == internal::FileCheck::Read && file.crc32 != entry.crc32) {
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

namespace internal {

struct ValidationFindings::State {
    enum class ArchiveState { Missing, Unreadable, Damaged, Listed };

    fs::Path folder;
    fs::Path zipPath;
    bool destaged = false;
    ArchiveState archive = ArchiveState::Listed;
    const char* damage = "";
    // What was logged while gathering (the zip reader's lines), said when the findings are reported.
    std::vector<services::logging::HeldLine> lines;
    archive::ZipListing entries{{}, {}};
    std::vector<const archive::ZipFileInfo*> checked;
    std::optional<StagedFileCrcs> crcs;
};

ValidationFindings::ValidationFindings(const fs::Path& folder, const fs::Path& zipPath, bool destaged)
    : mState(std::make_unique<State>()) {
    State& state = *mState;
    state.folder = folder;
    state.zipPath = zipPath;
    state.destaged = destaged;
    services::logging::ScopedLineHold hold(state.lines);
    // Only a programming error found by a check throws; the archive then counts as damaged, so the
    // validation still ends with its one line.
    try {
        gather(state);
    } catch (...) {
        state.archive = State::ArchiveState::Damaged;
        state.damage = "UnexpectedException";
    }
}

void ValidationFindings::gather(State& state) {
    auto zipExists = fs::filesystem().exists(state.zipPath);
    if (zipExists.isOk() && !zipExists.peek()) {
        state.archive = State::ArchiveState::Missing;
        return;
    }
    std::optional<OpenArchive> archive = openArchive(state.zipPath);
    if (!archive) {
        state.archive = State::ArchiveState::Unreadable;
        return;
    }
    auto entries = archive::listZipEntries(rangeReaderFor(*archive),
                                           archive::ZipArchiveDescription{"", archive->size, kMinimumTailLength});
    if (entries.isError()) {
        state.archive = State::ArchiveState::Damaged;
        state.damage = archive::zipErrorKindName(entries.peekError().kind);
        return;
    }
    state.entries = entries.unwrap();
    const fs::Path root = state.folder.parent();
    std::vector<internal::StagedFile> files;
    for (const archive::ZipFileInfo& entry : state.entries) {
        if (isChecked(entry, state.destaged)) {
            state.checked.push_back(&entry);
            files.push_back({entryPathUnder(root, entry.fileName), entry.uncompressedSize});
        }
    }
    state.crcs.emplace(files);
}

ValidationFindings::~ValidationFindings() = default;

bool ValidationFindings::archiveUnreadable() const {
    return mState->archive == State::ArchiveState::Unreadable;
}

void ValidationFindings::finishReading() {
    if (mState->crcs) {
        mState->crcs->readAll();
    }
}

void ValidationFindings::report() {
    State& state = *mState;
    KVX_LOG_AS(kValidateFunction, Info, "Validating contents of path[{}] against zip[{}]",
               state.folder.utf8(), state.zipPath.utf8());
    services::logging::writeHeldLines(state.lines);
    switch (state.archive) {
        case State::ArchiveState::Missing:
            KVX_LOG_AS(kValidateFunction, Info, "Skipping validation, zip file does not exist at path[{}]",
                       state.zipPath.utf8());
            return;
        case State::ArchiveState::Unreadable:
            KVX_LOG_AS(kValidateFunction, Error, "Failed to read zip file[{}]", state.zipPath.utf8());
            return;
        case State::ArchiveState::Damaged:
            KVX_LOG_AS(kValidateFunction, Error, "Failed to process zip file data, file[{}], error[{}]",
                       state.zipPath.utf8(), state.damage);
            return;
        case State::ArchiveState::Listed:
            break;
    }
    // Results come in archive order, so the records and the early end after the last report are
    // those of a plain loop however far the workers have got.
    int budget = kReportBudget;
    for (size_t i = 0; i < state.checked.size() && budget > 0; ++i) {
        if (reportEntry(*state.checked[i], state.crcs->take(i), state.destaged)) {
            --budget;
        }
    }
    state.crcs.reset();
}

}  // namespace internal

void tryValidateStagedFiles(const fs::Path& folder, const fs::Path& zipPath, bool destaged) {
    internal::ValidationFindings(folder, zipPath, destaged).report();
}

}  // namespace kvx::apps
