#include "foundation/archive/ZipCentralDirectory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "foundation/archive/Crc32.h"
#include "foundation/archive/ZipEndRecord.h"
#include "foundation/archive/ZipTestArchive.h"
#include "support/Capture.h"

namespace kvx::archive {
namespace {

using test::buildTestZip;
using test::MemoryRangeReader;
using test::TestZipEntry;
using Lines = test::LoggedLines;

constexpr const char* kParseFunction = "kvx::archive::parseCentralDirectory";

std::vector<TestZipEntry> threeFiles() {
    return {{"Korv Desktop/KorvDesktop.exe", std::string(300, 'x')},
            {"Korv Desktop/data/a.txt", "alpha", test::kUnixRegularFile, "XTRA", "note", 1},
            {"Korv Desktop/b.bin", "beta"}};
}

Result<ZipListing, ZipCentralDirectoryError> list(MemoryRangeReader& reader, uint64_t minimumTail = 16384) {
    return listZipEntries(std::ref(reader), ZipArchiveDescription{"", reader.bytes.size(), minimumTail});
}

// Names as stored, each entry's header fields, and what the predicates make of its attributes.
TEST(ZipCentralDirectory, ListsEveryEntryWithItsHeaderFields) {
    std::vector<TestZipEntry> entries = threeFiles();
    entries.insert(entries.end(), {{"Korv Desktop/", ""},
                                   {"Korv Desktop/plugins", "", test::kMsDosDirectory},
                                   {"Korv Desktop/unixdir", "", test::kUnixDirectory},
                                   {"Korv Desktop/current", "../v13", test::kUnixSymlink},
                                   {"Korv Desktop/../escape.txt", "e"}});
    MemoryRangeReader reader{buildTestZip(entries).bytes};
    ZipListing found = list(reader).unwrap();
    std::string got;  // each name with d for a directory, l for a link, f for anything else
    for (const ZipFileInfo& entry : found) {
        got +=
            fmt::format("{} {}|", entry.fileName, isDirectory(entry) ? 'd' : (isSymlink(entry) ? 'l' : 'f'));
    }
    EXPECT_EQ(
        got,
        "Korv Desktop/KorvDesktop.exe f|Korv Desktop/data/a.txt f|Korv Desktop/b.bin f|Korv Desktop/ d|"
        "Korv Desktop/plugins d|Korv Desktop/unixdir d|Korv Desktop/current l|Korv Desktop/../escape.txt f|");
    const ZipFileInfo& a = found[1];
    EXPECT_EQ(
        std::tuple(a.crc32, a.compressedSize, a.uncompressedSize, a.versionMadeBy, a.flags,
                   a.compressionMethod, a.internalAttributes, a.externalAttributes, a.localHeaderOffset),
        std::tuple(zipwriter::crc32Of("alpha"), 5u, 5u, 0x031E, 0x0800, 0, 1, test::kUnixRegularFile,
                   30u + 28u + 300u));
    EXPECT_EQ(std::string(a.extraField().begin(), a.extraField().end()) + "/" + std::string(a.comment()),
              "XTRA/note");
    // The names point into the listing's own bytes, which a move keeps where they are.
    const ZipListing moved = std::move(found);
    const std::span<const uint8_t> owned = moved.directoryBytes();
    EXPECT_TRUE(moved[2].fileName.data() > reinterpret_cast<const char*>(owned.data()) &&
                moved[2].fileName.data() < reinterpret_cast<const char*>(owned.data() + owned.size()));

    MemoryRangeReader none{buildTestZip({}).bytes};
    EXPECT_TRUE(list(none).unwrap().empty());
}

// The end record places the directory; one that starts before the tail is read again with it as one range.
// Up to four stray bytes after a header are skipped with one warning.
TEST(ZipCentralDirectory, EndRecordPlacesTheDirectory) {
    const std::pair<zipwriter::ZipOptions, uint64_t> rows[] = {
        {{.comment = "release build 13.696", .bytesAfterEndRecord = "trailing garbage"}, 16384},
        {{.zip64 = true}, 16384},
        {{}, 10},
        {{.junkAfterHeader = {{0, 1}}}, 16384},
        {{.junkAfterHeader = {{0, 4}}}, 16384}};
    for (const auto& [options, tail] : rows) {
        test::ScopedCapturingLogger logger;
        const auto zip = buildTestZip(threeFiles(), options);
        const uint64_t size = zip.bytes.size();
        const bool inTail = tail > size;
        const size_t junk = options.junkAfterHeader.empty() ? 0 : options.junkAfterHeader.at(0);
        SCOPED_TRACE(testing::Message() << options.zip64 << tail << junk);
        MemoryRangeReader reader{zip.bytes};
        auto directory = getCentralDirectoryBuffer(std::ref(reader), {"", size, tail});
        using Reads = decltype(reader.requests);
        EXPECT_EQ(reader.requests, (inTail ? Reads{{0, size - 1}}
                                           : Reads{{size - 76, size - 1}, {zip.directoryOffset, size - 1}}));
        const ZipCentralDirectoryBuffer& found = directory.peek();
        EXPECT_EQ(found.directoryStart, inTail ? zip.directoryOffset : 0);
        EXPECT_TRUE(std::ranges::equal(std::span(found.buffer).subspan(found.directoryStart),
                                       std::span(zip.bytes).subspan(zip.directoryOffset)));
        const EndOfCentralDir& end = found.endOfCentralDir;
        EXPECT_EQ(std::tuple(end.comment, end.totalEntries, end.entriesOnThisDisk,
                             end.diskWithCentralDirectory, end.centralDirectoryOffset,
                             end.centralDirectorySize, end.bytesAfterRecord, end.impliedFileSize),
                  std::tuple(options.comment, 3u, 3u, 0u, zip.directoryOffset, zip.directorySize,
                             options.bytesAfterEndRecord.size(),
                             zip.directoryOffset + zip.directorySize + 22 + options.comment.size()));
        EXPECT_EQ(list(reader, tail).unwrap().size(), 3u);
        const Lines warned{{services::logging::Warn, kParseFunction,
                            "Zip directory scanner was off signature but recovered at offset: " +
                                std::to_string(zip.directoryOffset + 46 + 28 + junk)}};
        EXPECT_EQ(logger->lines(), junk > 0 ? warned : Lines{});
    }
}

struct FailureRow {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* kind;  // as the validation's log line names it
    std::string message;
    const char* loggedBy = nullptr;  // the function whose ERROR line repeats the message
    size_t readsBeforeFailure = SIZE_MAX;
    uint64_t minimumTail = 16384;
};

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, ptrdiff_t skip, ptrdiff_t drop) {
    return std::vector<uint8_t>(bytes.begin() + skip, bytes.end() - drop);
}

TEST(ZipCentralDirectory, FailuresAreReportedByKindAndText) {
    const auto zip = buildTestZip(threeFiles());
    const auto big = buildTestZip({{"big.pak", std::string(5000, 'p')}, {"small.txt", "s"}});
    const auto commented = buildTestZip(threeFiles(), {.comment = "0123456789"}).bytes;
    const std::vector<uint8_t> signatureOnly{0x50, 0x4b, 0x05, 0x06};
    auto zip64MarkerAlone = zip.bytes;
    std::fill(zip64MarkerAlone.end() - 6, zip64MarkerAlone.end() - 2, 0xFF);
    const std::string noEndRecord = "Zip eocd signature not found in buffer";
    const FailureRow rows[] = {
        {"empty", {}, "EmptyZipFile", "Empty file"},
        {"tail unreadable", zip.bytes, "IoFailure", "Zip Io failure. short read", nullptr, 0},
        {"directory unreadable", zip.bytes, "IoFailure",
         "Zip IO could not obtain extended central directory buffer. short read", nullptr, 1, 76},
        {"signature only", signatureOnly, "ParseError", noEndRecord},
        {"no signature", std::vector<uint8_t>(100, 0), "ParseError", noEndRecord},
        {"fixed part cut", slice(zip.bytes, 0, 3), "ParseError", noEndRecord},
        {"comment cut", slice(commented, 0, 1), "ParseError", "Zip eocd comment size invalid"},
        {"zip64 marker alone", zip64MarkerAlone, "ParseError", "Zip64 eocd Signature not found in buffer"},
        {"truncated", slice(big.bytes, static_cast<ptrdiff_t>(big.bytes.size()) - 200, 0), "ParseError",
         "Zip signature location [" + std::to_string(big.directoryOffset) +
             "] greater than file size = [200]",
         "kvx::archive::getCentralDirectoryBuffer"},
        {"five stray bytes", buildTestZip(threeFiles(), {.junkAfterHeader = {{0, 5}}}).bytes, "ParseError",
         "The zip directory scanner got a bad offset at [" + std::to_string(zip.directoryOffset + 46 + 28) +
             "] and did not recover, this may indicate a corrupt file",
         kParseFunction}};
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.label);
        test::ScopedCapturingLogger logger;
        MemoryRangeReader reader{row.bytes, {}, row.readsBeforeFailure};
        auto listed = list(reader, row.minimumTail);
        ASSERT_TRUE(listed.isError());
        EXPECT_STREQ(zipErrorKindName(listed.peekError().kind), row.kind);
        EXPECT_EQ(listed.peekError().message, row.message);
        const Lines logged =
            row.loggedBy ? Lines{{services::logging::Error, row.loggedBy, row.message}} : Lines{};
        EXPECT_EQ(logger->lines(), logged);
    }
}

TEST(ZipCentralDirectory, VariableFieldsBeyondTheBufferLeaveEmptyStrings) {
    test::ScopedCapturingLogger logger;
    auto zip = buildTestZip({{"name.txt", "n", test::kUnixRegularFile, "", "comment"}});
    const auto header = std::span(zip.bytes).subspan(zip.directoryOffset, 46 + 8 + 3);
    uint64_t cursor = 0;
    ZipFileInfo entry = extractZipFileInfo(header, cursor);
    EXPECT_EQ(std::tuple(entry.fileName, entry.comment(), entry.extraField().size(), entry.crc32, cursor),
              std::tuple("", "", 0u, zipwriter::crc32Of("n"), 46u + 8u + 7u));
    EXPECT_EQ(
        logger->lines(),
        (Lines{{services::logging::Error, "kvx::archive::extractZipFileInfo",
                "Attempted to scan zip info strings outside the range of the buffer size at offset: 46"}}));
}

// Every length around the folding's 16- and 64-byte steps, unaligned, and continued from a split.
TEST(ZipCrc32, MatchesZlibAtEveryLengthAndSplit) {
    std::vector<uint8_t> bytes((1 << 16) + 300);
    std::generate(bytes.begin(), bytes.end(), std::mt19937(7));
    for (size_t size : {0, 1, 63, 64, 65, 79, 80, 127, 128, 200, 1000, (1 << 16) + 297}) {
        for (const uint8_t* data : {bytes.data(), bytes.data() + 3}) {
            const auto expected = static_cast<uint32_t>(::crc32(0, data, static_cast<uInt>(size)));
            EXPECT_EQ(archive::crc32(0, data, size), expected) << size;
            EXPECT_EQ(archive::crc32(archive::crc32(0, data, size / 3), data + size / 3, size - size / 3),
                      expected);
        }
    }
}

}  // namespace
}  // namespace kvx::archive
