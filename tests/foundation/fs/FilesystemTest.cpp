// The Win32 filesystem against real files in a temporary folder, for the operations the update uses.
#include <gtest/gtest.h>

#include <windows.h>

#include <tuple>

#include "foundation/fs/Filesystem.h"
#include "foundation/fs/RemovalPolicy.h"
#include "foundation/fs/Win32Paths.h"
#include "support/TempFolder.h"

namespace kvx::fs {
namespace {

using std::filesystem::file_type;

class FilesystemTest : public ::testing::Test {
protected:
    Filesystem mFs;
    test::TempFolder mTemp;
};

// The update renames folders only; a rename onto an existing folder is refused with the retrying rename.
TEST_F(FilesystemTest, RenameMovesAFolderWithItsFiles) {
    mTemp.writeFile(L"a\\f.txt", "one");
    ASSERT_TRUE(mFs.rename(mTemp / Path(L"a"), mTemp / Path(L"b")).isOk());
    EXPECT_FALSE(mFs.exists(mTemp / Path(L"a")).unwrap());
    EXPECT_EQ(mFs.fileSize(mTemp / Path(L"b\\f.txt")).unwrap(), 3u);
    EXPECT_EQ(mFs.rename(mTemp / Path(L"nothing"), mTemp / Path(L"c")).peekError(),
              OsError{ERROR_FILE_NOT_FOUND});
}

TEST_F(FilesystemTest, RemovalTakesWholeTreesIncludingReadOnlyFilesAndSkipsMissingItems) {
    mTemp.writeFile(L"tree\\sub\\deeper\\b.txt", "b");
    const Path readOnly = mTemp.writeFile(L"tree\\sub\\ro.txt", "r");
    ASSERT_TRUE(mFs.setPermissions(readOnly, std::filesystem::perms::owner_read).isOk());
    EXPECT_EQ(mFs.status(mTemp / Path(L"none")).unwrap().type(), file_type::not_found);
    EXPECT_EQ(mFs.symlinkStatus(mTemp / Path(L"none\\deeper")).unwrap().type(), file_type::not_found);

    const Path tree = mTemp / Path(L"tree");
    EXPECT_EQ(mFs.removeDirectory(tree, false).peekError(), static_cast<OsError>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.exists(tree).unwrap());
    // A missing item is no error, just nothing removed.
    EXPECT_FALSE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.remove(mTemp / Path(L"missing\\deeper.txt")).unwrap());
}

// Wine cannot make the links and placeholders involved, so the decision is checked on its own.
TEST(RemovalPolicy, OnlyPlainFoldersAreEnteredAndOnlyLinksUnlinked) {
    using detail::Removal;
    constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    const std::tuple<DWORD, DWORD, Removal> rows[] = {
        {FILE_ATTRIBUTE_READONLY | kReparse, IO_REPARSE_TAG_SYMLINK, Removal::Delete},
        {kDir | FILE_ATTRIBUTE_READONLY, 0, Removal::Descend},
        {kDir | kReparse, IO_REPARSE_TAG_SYMLINK, Removal::Unlink},
        {kDir | kReparse, IO_REPARSE_TAG_MOUNT_POINT, Removal::Unlink},
        {kDir | kReparse, 0x9000001A, Removal::Refuse},  // a cloud-files placeholder
    };
    for (const auto& [attributes, tag, expected] : rows) {
        EXPECT_EQ(detail::removalFor(attributes, tag), expected) << std::hex << attributes << " " << tag;
    }
}

// The growth rule with answers shaped like Windows' own: a long final path needs a second call.
TEST(FinalPathQuery, GrowsItsBufferAndDropsTheExtendedPrefix) {
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L"\\leaf.txt";
    const std::tuple<std::wstring, std::wstring, std::vector<DWORD>> rows[] = {
        {L"\\\\?\\" + longPath, longPath, {MAX_PATH, static_cast<DWORD>(longPath.size() + 5)}},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\\\server\\share\\f", {MAX_PATH}},
    };
    for (const auto& [answer, path, sizes] : rows) {
        std::vector<DWORD> asked;
        auto result = detail::growingPathQuery([&](wchar_t* buffer, DWORD size) -> DWORD {
            asked.push_back(size);
            if (size <= answer.size()) {
                return static_cast<DWORD>(answer.size() + 1);
            }
            std::copy(answer.c_str(), answer.c_str() + answer.size() + 1, buffer);
            return static_cast<DWORD>(answer.size());
        });
        EXPECT_EQ(result.unwrap(), path);
        EXPECT_EQ(asked, sizes);
    }
    auto failed = detail::growingPathQuery([](wchar_t*, DWORD) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    EXPECT_EQ(failed.unwrapError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace kvx::fs
