#include "foundation/archive/ZipCentralDirectory.h"

#include <gtest/gtest.h>

#include "foundation/archive/ZipEndRecord.h"
#include "foundation/archive/ZipTestArchive.h"
#include "support/Capture.h"

namespace kvx::archive {
namespace {

using test::buildTestZip;
using test::MemoryRangeReader;
using test::TestZipEntry;
using test::TestZipOptions;

constexpr const char* kParseFunction = "kvx::archive::parseCentralDirectory";

std::vector<TestZipEntry> threeFiles() {
    return {{"Korv Desktop/KorvDesktop.exe", std::string(300, 'x')},
            {"Korv Desktop/data/a.txt", "alpha", test::kUnixRegularFile, "XTRA", "note", 1},
            {"Korv Desktop/b.bin", "beta"}};
}

Result<std::vector<ZipFileInfo>, ZipCentralDirectoryError> list(MemoryRangeReader& reader,
                                                                uint64_t minimumTail = 16384) {
    return listZipEntries(reader.function(), ZipArchiveDescription{"", reader.bytes.size(), minimumTail});
}

std::vector<std::string> names(const std::vector<ZipFileInfo>& entries) {
    std::vector<std::string> result;
    for (const ZipFileInfo& entry : entries) {
        result.push_back(entry.fileName);
    }
    return result;
}

TEST(ZipCentralDirectory, ListsEveryEntryWithItsHeaderFields) {
    MemoryRangeReader reader{buildTestZip(threeFiles()).bytes};
    auto entries = list(reader);
    ASSERT_TRUE(entries.isOk());
    const auto& found = entries.peek();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(names(found), (std::vector<std::string>{"Korv Desktop/KorvDesktop.exe",
                                                      "Korv Desktop/data/a.txt", "Korv Desktop/b.bin"}));
    const ZipFileInfo& second = found[1];
    EXPECT_EQ(second.crc32, test::testCrc32("alpha"));
    EXPECT_EQ(second.compressedSize, 5u);
    EXPECT_EQ(second.uncompressedSize, 5u);
    EXPECT_EQ(second.versionMadeBy, 0x031E);
    EXPECT_EQ(second.flags, 0x0800);
    EXPECT_EQ(second.compressionMethod, 0);
    EXPECT_EQ(second.internalAttributes, 1);
    EXPECT_EQ(second.externalAttributes, test::kUnixRegularFile);
    EXPECT_EQ(second.localHeaderOffset, 30u + 28u + 300u);
    EXPECT_EQ(std::string(second.extraField.begin(), second.extraField.end()), "XTRA");
    EXPECT_EQ(second.comment, "note");

    MemoryRangeReader none{buildTestZip({}).bytes};
    EXPECT_TRUE(list(none).unwrap().empty());
}

// A plain end record, found before its comment and after trailing bytes, and a ZIP64 record.
TEST(ZipCentralDirectory, EndRecordSuppliesTheDirectoryFields) {
    const TestZipOptions commented{.comment = "release build 13.696",
                                   .bytesAfterEndRecord = "trailing garbage"};
    for (const TestZipOptions& options : {commented, TestZipOptions{.zip64 = true}}) {
        SCOPED_TRACE(options.zip64);
        auto zip = buildTestZip(threeFiles(), options);
        MemoryRangeReader reader{zip.bytes};
        auto directory = getCentralDirectoryBuffer(reader.function(), {"", zip.bytes.size(), 16384});
        ASSERT_TRUE(directory.isOk());
        // The archive is shorter than the tail: one read from its start holds the directory too.
        ASSERT_EQ(reader.requests.size(), 1u);
        EXPECT_EQ(reader.requests[0].first, 0u);
        EXPECT_EQ(directory.peek().directoryStart, zip.directoryOffset);
        const EndOfCentralDir& end = directory.peek().endOfCentralDir;
        EXPECT_EQ(end.comment, options.comment);
        EXPECT_EQ(end.totalEntries, 3u);
        EXPECT_EQ(end.entriesOnThisDisk, 3u);
        EXPECT_EQ(end.diskWithCentralDirectory, 0u);
        EXPECT_EQ(end.centralDirectoryOffset, zip.directoryOffset);
        EXPECT_EQ(end.centralDirectorySize, zip.directorySize);
        EXPECT_EQ(end.bytesAfterRecord, options.bytesAfterEndRecord.size());
        if (!options.zip64) {
            EXPECT_EQ(end.impliedFileSize,
                      zip.directoryOffset + zip.directorySize + 22 + options.comment.size());
        }
        EXPECT_EQ(list(reader).unwrap().size(), 3u);
    }
}

TEST(ZipCentralDirectory, DirectoryBeforeTheTailIsReadAndJoinedInFront) {
    std::vector<TestZipEntry> many;
    for (int i = 0; i < 20; ++i) {
        many.push_back({"Korv Desktop/file" + std::to_string(i) + ".dll", std::string(i, 'd')});
    }
    auto zip = buildTestZip(many);
    MemoryRangeReader reader{zip.bytes};
    auto directory = getCentralDirectoryBuffer(reader.function(), {"", zip.bytes.size(), 10});
    ASSERT_TRUE(directory.isOk());
    ASSERT_EQ(reader.requests.size(), 2u);
    const uint64_t tailStart = zip.bytes.size() - 76;  // a requested tail below 76 bytes is raised to 76
    EXPECT_EQ(reader.requests[0].first, tailStart);
    EXPECT_EQ(reader.requests[0].last, zip.bytes.size() - 1);
    EXPECT_EQ(reader.requests[1].first, zip.directoryOffset);
    EXPECT_EQ(reader.requests[1].last, tailStart - 1);
    EXPECT_EQ(directory.peek().directoryStart, 0u);
    EXPECT_EQ(directory.peek().buffer.size(), zip.bytes.size() - zip.directoryOffset);
    EXPECT_EQ(list(reader, 10).unwrap().size(), 20u);
}

// Up to four stray bytes after a header are skipped with one warning; a fifth ends the listing.
TEST(ZipCentralDirectory, StrayBytesBetweenHeaders) {
    for (size_t junk = 1; junk <= 5; ++junk) {
        SCOPED_TRACE(junk);
        test::ScopedCapturingLogger logger;
        TestZipOptions options;
        options.junkAfterHeader[0] = junk;
        auto zip = buildTestZip(threeFiles(), options);
        MemoryRangeReader reader{zip.bytes};
        auto entries = list(reader);
        const uint64_t junkStart = zip.directoryOffset + 46 + 28;
        if (junk == 5) {
            EXPECT_EQ(entries.peekError().kind, ZipCentralDirectoryError::ParseError);
            EXPECT_EQ(logger->linesContaining("scanner"),
                      (std::vector<test::LoggedLine>{
                          {services::logging::Error, kParseFunction,
                           "The zip directory scanner got a bad offset at [" + std::to_string(junkStart) +
                               "] and did not recover, this may indicate a corrupt file"}}));
            continue;
        }
        EXPECT_EQ(entries.unwrap().size(), 3u);
        EXPECT_EQ(logger->linesContaining("scanner"),
                  (std::vector<test::LoggedLine>{
                      {services::logging::Warn, kParseFunction,
                       "Zip directory scanner was off signature but recovered at offset: " +
                           std::to_string(junkStart + junk)}}));
    }
}

TEST(ZipCentralDirectory, DirectoryClaimedBeyondTheEndOfATruncatedArchiveIsAParseError) {
    test::ScopedCapturingLogger logger;
    auto zip = buildTestZip({{"big.pak", std::string(5000, 'p')}, {"small.txt", "s"}});
    std::vector<uint8_t> truncated(zip.bytes.end() - 200, zip.bytes.end());
    MemoryRangeReader reader{truncated};
    auto entries = list(reader);
    EXPECT_EQ(entries.peekError().kind, ZipCentralDirectoryError::ParseError);
    const std::string expected =
        "Zip signature location [" + std::to_string(zip.directoryOffset) + "] greater than file size = [200]";
    EXPECT_EQ(entries.peekError().message, expected);
    EXPECT_EQ(logger->linesContaining("greater than file size"),
              (std::vector<test::LoggedLine>{
                  {services::logging::Error, "kvx::archive::getCentralDirectoryBuffer", expected}}));
}

TEST(ZipCentralDirectory, EmptyArchiveAndFailedReadsAreReportedByKind) {
    MemoryRangeReader empty{{}};
    auto none = list(empty);
    EXPECT_EQ(none.peekError().kind, ZipCentralDirectoryError::EmptyZipFile);
    EXPECT_EQ(none.peekError().message, "Empty file");
    EXPECT_TRUE(empty.requests.empty());
    // The kind's name is part of the validation's log line.
    EXPECT_STREQ(zipErrorKindName(ZipCentralDirectoryError::EmptyZipFile), "EmptyZipFile");
    EXPECT_STREQ(zipErrorKindName(ZipCentralDirectoryError::IoFailure), "IoFailure");
    EXPECT_STREQ(zipErrorKindName(ZipCentralDirectoryError::ParseError), "ParseError");
    EXPECT_STREQ(zipErrorKindName(ZipCentralDirectoryError::None), "");

    RangeReadFunction failing = [](const std::string& name,
                                   const FileOffsets&) -> Result<std::vector<uint8_t>, FileRangeError> {
        return Err{FileRangeError{"cannot read " + name}};
    };
    auto io = listZipEntries(failing, {"a.zip", 1000, 16384});
    EXPECT_EQ(io.peekError().kind, ZipCentralDirectoryError::IoFailure);
    EXPECT_EQ(io.peekError().message, "Zip Io failure. cannot read a.zip");

    // The tail reads fine, the directory in front of it does not.
    auto zip = buildTestZip(threeFiles());
    MemoryRangeReader reader{zip.bytes};
    RangeReadFunction tailOnly =
        [&](const std::string& name,
            const FileOffsets& range) -> Result<std::vector<uint8_t>, FileRangeError> {
        if (range.last + 1 != zip.bytes.size()) {
            return Err{FileRangeError{"short read"}};
        }
        return reader.function()(name, range);
    };
    auto extended = listZipEntries(tailOnly, {"", zip.bytes.size(), 76});
    EXPECT_EQ(extended.peekError().kind, ZipCentralDirectoryError::IoFailure);
    EXPECT_EQ(extended.peekError().message,
              "Zip IO could not obtain extended central directory buffer. short read");
}

TEST(ZipCentralDirectory, DamagedEndRecordsAreParseErrors) {
    auto expectParseError = [](std::vector<uint8_t> tail, const std::string& message) {
        auto end = findEndOfCentralDir(tail);
        ASSERT_TRUE(end.isError()) << message;
        EXPECT_EQ(end.peekError().kind, ZipCentralDirectoryError::ParseError);
        EXPECT_EQ(end.peekError().message, message);
    };
    expectParseError({0x50, 0x4b, 0x05, 0x06}, "Zip eocd signature not found in buffer");
    expectParseError(std::vector<uint8_t>(100, 0), "Zip eocd signature not found in buffer");

    auto zip = buildTestZip(threeFiles());
    std::vector<uint8_t> cut(zip.bytes.begin(), zip.bytes.end() - 3);  // fixed part no longer fits
    expectParseError(cut, "Zip eocd signature not found in buffer");

    TestZipOptions withComment;
    withComment.comment = "0123456789";
    auto commented = buildTestZip(threeFiles(), withComment).bytes;
    commented.pop_back();
    expectParseError(commented, "Zip eocd comment size invalid");

    auto plain = buildTestZip(threeFiles()).bytes;
    for (size_t i = plain.size() - 6; i < plain.size() - 2; ++i) {
        plain[i] = 0xFF;  // ZIP64 marker without a ZIP64 record
    }
    expectParseError(plain, "Zip64 eocd Signature not found in buffer");
}

TEST(ZipCentralDirectory, PredicatesRecogniseDirectoriesAndSymbolicLinks) {
    auto zip = buildTestZip({{"Korv Desktop/", ""},
                             {"Korv Desktop/plugins", "", test::kMsDosDirectory},
                             {"Korv Desktop/unixdir", "", test::kUnixDirectory},
                             {"Korv Desktop/current", "../v13", test::kUnixSymlink},
                             {"Korv Desktop/file.txt", "f", test::kUnixRegularFile},
                             {"Korv Desktop/../escape.txt", "e", test::kUnixRegularFile}});
    MemoryRangeReader reader{zip.bytes};
    auto entries = list(reader).unwrap();
    ASSERT_EQ(entries.size(), 6u);
    const std::pair<bool, bool> directoryAndLink[] = {{true, false}, {true, false},  {true, false},
                                                      {false, true}, {false, false}, {false, false}};
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(std::pair(isDirectory(entries[i]), isSymlink(entries[i])), directoryAndLink[i])
            << entries[i].fileName;
    }
    EXPECT_EQ(entries[5].fileName, "Korv Desktop/../escape.txt");  // the reader reports names as stored
}

TEST(ZipCentralDirectory, VariableFieldsBeyondTheBufferLeaveEmptyStrings) {
    test::ScopedCapturingLogger logger;
    auto zip = buildTestZip({{"name.txt", "n", test::kUnixRegularFile, "", "comment"}});
    std::vector<uint8_t> header(zip.bytes.begin() + zip.directoryOffset,
                                zip.bytes.begin() + zip.directoryOffset + 46 + 8 + 3);
    uint64_t cursor = 0;
    ZipFileInfo entry = extractZipFileInfo(header, cursor);
    EXPECT_TRUE(entry.fileName.empty());
    EXPECT_TRUE(entry.comment.empty());
    EXPECT_EQ(entry.crc32, test::testCrc32("n"));
    EXPECT_EQ(cursor, 46u + 8u + 7u);
    const auto errors = logger->linesContaining("Attempted to scan zip info strings");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message,
              "Attempted to scan zip info strings outside the range of the buffer size at offset: 46");
}

}  // namespace
}  // namespace kvx::archive
