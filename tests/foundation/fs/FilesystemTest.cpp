// The Win32 filesystem against real files in a temporary folder.
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
using std::filesystem::perms;

class FilesystemTest : public ::testing::Test {
protected:
    Filesystem mFs;
    test::TempFolder mTemp;
};

TEST_F(FilesystemTest, RenameMovesFoldersReplacesFilesAndRefusesAnExistingFolder) {
    mTemp.writeFile(L"a\\f.txt", "one");
    ASSERT_TRUE(mFs.rename(mTemp / Path(L"a"), mTemp / Path(L"b")).isOk());
    EXPECT_FALSE(mFs.exists(mTemp / Path(L"a")).unwrap());
    const Path target = mTemp.writeFile(L"b\\g.txt", "old content");
    ASSERT_TRUE(mFs.rename(mTemp / Path(L"b\\f.txt"), target).isOk());
    EXPECT_EQ(mFs.fileSize(target).unwrap(), 3u);

    const Path existing = mTemp.makeFolder(L"existing");
    EXPECT_EQ(mFs.rename(mTemp / Path(L"b"), existing).peekError(), OsError{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(mFs.exists(target).unwrap());
    EXPECT_TRUE(mFs.isDirectory(existing));
    EXPECT_EQ(mFs.rename(mTemp / Path(L"nothing"), mTemp / Path(L"c")).peekError(),
              OsError{ERROR_FILE_NOT_FOUND});
}

TEST_F(FilesystemTest, RemovalTakesWholeTreesIncludingReadOnlyFilesAndSkipsMissingItems) {
    mTemp.writeFile(L"tree\\a.txt", "a");
    mTemp.writeFile(L"tree\\sub\\deeper\\b.txt", "b");
    const Path readOnly = mTemp.writeFile(L"tree\\sub\\ro.txt", "r");
    ASSERT_TRUE(mFs.setPermissions(readOnly, perms::owner_read).isOk());
    mTemp.makeFolder(L"tree\\empty");

    const Path tree = mTemp / Path(L"tree");
    auto plain = mFs.removeDirectory(tree, false);
    EXPECT_EQ(plain.peekError(), static_cast<OsError>(ERROR_DIR_NOT_EMPTY));

    EXPECT_TRUE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.exists(tree).unwrap());
    // A missing item is no error, just nothing removed.
    EXPECT_FALSE(mFs.removeDirectory(tree, true).unwrap());
    EXPECT_FALSE(mFs.remove(mTemp / Path(L"missing.txt")).unwrap());
    EXPECT_FALSE(mFs.remove(mTemp / Path(L"missing\\deeper.txt")).unwrap());
    const Path file = mTemp.writeFile(L"here.txt", "x");
    EXPECT_TRUE(mFs.remove(file).unwrap());
    EXPECT_FALSE(mFs.exists(file).unwrap());
}

// Wine cannot make the links and placeholders involved, so the decision is checked on its own.
TEST(RemovalPolicy, OnlyPlainFoldersAreEnteredAndOnlyLinksUnlinked) {
    using detail::Removal;
    constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kCloudTag = 0x9000001A;  // a cloud-files placeholder
    const std::tuple<DWORD, DWORD, Removal> rows[] = {
        {FILE_ATTRIBUTE_NORMAL, 0, Removal::Delete},
        {FILE_ATTRIBUTE_READONLY | kReparse, IO_REPARSE_TAG_SYMLINK, Removal::Delete},
        {kDir, 0, Removal::Descend},
        {kDir | FILE_ATTRIBUTE_READONLY, 0, Removal::Descend},
        {kDir | kReparse, IO_REPARSE_TAG_SYMLINK, Removal::Unlink},
        {kDir | kReparse, IO_REPARSE_TAG_MOUNT_POINT, Removal::Unlink},
        {kDir | kReparse, kCloudTag, Removal::Refuse},
    };
    for (const auto& [attributes, tag, expected] : rows) {
        EXPECT_EQ(detail::removalFor(attributes, tag), expected) << std::hex << attributes << " " << tag;
    }
}

TEST_F(FilesystemTest, CreateDirectoriesMakesTheChainOnceAndRefusesAFile) {
    const Path deep = mTemp / Path(L"x\\y\\z");
    EXPECT_TRUE(mFs.createDirectories(deep).unwrap());
    EXPECT_TRUE(mFs.isDirectory(deep));
    EXPECT_FALSE(mFs.createDirectories(deep).unwrap());

    const Path file = mTemp.writeFile(L"file", "x");
    EXPECT_TRUE(mFs.createDirectories(file).isError());
    EXPECT_TRUE(mFs.createDirectories(file / Path(L"below")).isError());
}

// The growth rule with answers shaped like Windows' own: a long final path needs a second call.
TEST(FinalPathQuery, GrowsItsBufferAndDropsTheExtendedPrefix) {
    const std::wstring longName = L"\\\\?\\C:\\" + std::wstring(300, L'x') + L"\\leaf.txt";
    std::vector<DWORD> sizes;
    auto answer = detail::growingPathQuery([&](wchar_t* buffer, DWORD size) -> DWORD {
        sizes.push_back(size);
        if (size <= longName.size()) {
            return static_cast<DWORD>(longName.size() + 1);
        }
        std::copy(longName.begin(), longName.end(), buffer);
        buffer[longName.size()] = L'\0';
        return static_cast<DWORD>(longName.size());
    });
    EXPECT_EQ(answer.unwrap(), longName.substr(4));
    EXPECT_EQ(sizes, (std::vector<DWORD>{MAX_PATH, static_cast<DWORD>(longName.size() + 1)}));

    const std::wstring unc = L"\\\\?\\UNC\\server\\share\\f";
    auto uncAnswer = detail::growingPathQuery([&](wchar_t* buffer, DWORD) -> DWORD {
        std::copy(unc.begin(), unc.end(), buffer);
        return static_cast<DWORD>(unc.size());
    });
    EXPECT_EQ(uncAnswer.unwrap(), L"\\\\server\\share\\f");

    auto failed = detail::growingPathQuery([](wchar_t*, DWORD) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    EXPECT_EQ(failed.unwrapError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

TEST_F(FilesystemTest, FinalPathsOfRealItems) {
    const Path file = mTemp.writeFile(L"sub\\f.txt", "x");
    const Path final = mFs.canonical(mTemp / Path(L"sub\\..\\sub\\f.txt")).unwrap();
    EXPECT_FALSE(final.wide().starts_with(L"\\\\?\\"));
    EXPECT_TRUE(final.wide().ends_with(L"\\sub\\f.txt")) << final.utf8();
    EXPECT_TRUE(mFs.equivalent(final, file).unwrap());
    EXPECT_TRUE(mFs.canonical(mTemp / Path(L"none")).isError());

    const Path weak = mFs.weaklyCanonical(mTemp / Path(L"sub\\missing\\..\\other\\name.txt")).unwrap();
    EXPECT_EQ(weak.wide().substr(final.wide().size() - 5), L"other\\name.txt");
    EXPECT_EQ(weak.parent().parent(), final.parent());
}

// Beyond MAX_PATH Windows asks for a larger buffer; Wine 8 instead fails the query with
// ERROR_MORE_DATA whatever the buffer size, so there only that error can be checked.
TEST_F(FilesystemTest, FinalPathOfAPathLongerThanMaxPath) {
    Path deep = mTemp.path();
    while (deep.wide().size() <= 300) {
        deep /= Path(L"a-rather-long-folder-name-0123456789");
    }
    ASSERT_TRUE(mFs.createDirectories(deep).unwrap());
    const Path file = deep / Path(L"leaf.txt");
    ASSERT_TRUE(mFs.open(file, FileAccess::Write, CreateDisposition::CreateNew, ShareNone).isOk());
    EXPECT_TRUE(mFs.exists(file).unwrap());

    auto final = mFs.canonical(file);
    if (final.isError()) {
        EXPECT_EQ(final.peekError(), static_cast<OsError>(ERROR_MORE_DATA));
        return;
    }
    const std::wstring& text = final.peek().wide();
    EXPECT_GT(text.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_FALSE(text.starts_with(L"\\\\?\\"));
    EXPECT_TRUE(text.ends_with(L"\\leaf.txt"));
}

TEST_F(FilesystemTest, StatusReportsTypesAndTheReadOnlyBit) {
    const Path file = mTemp.writeFile(L"f.txt", "hello");
    EXPECT_EQ(mFs.status(file).unwrap().type(), file_type::regular);
    EXPECT_EQ(mFs.status(file).unwrap().permissions(), perms::all);
    EXPECT_EQ(mFs.symlinkStatus(mTemp.path()).unwrap().type(), file_type::directory);

    const auto missing = mFs.status(mTemp / Path(L"none")).unwrap();
    EXPECT_EQ(missing.type(), file_type::not_found);
    EXPECT_EQ(static_cast<uint32_t>(missing.permissions()), 65535u);
    EXPECT_EQ(mFs.symlinkStatus(mTemp / Path(L"none\\deeper")).unwrap().type(), file_type::not_found);

    ASSERT_TRUE(mFs.setPermissions(file, perms::owner_read | perms::group_read).isOk());
    EXPECT_EQ(static_cast<uint32_t>(mFs.status(file).unwrap().permissions()), 0555u);
    ASSERT_TRUE(mFs.setPermissions(file, perms::all).isOk());
    EXPECT_TRUE(mFs.remove(file).unwrap());
}

TEST_F(FilesystemTest, SizesEmptinessAndTimes) {
    const Path file = mTemp.writeFile(L"f.txt", "12345");
    const Path empty = mTemp.writeFile(L"e.txt", "");
    const Path folder = mTemp.makeFolder(L"folder");
    EXPECT_EQ(mFs.fileSize(file).unwrap(), 5u);
    EXPECT_FALSE(mFs.isEmpty(file).unwrap());
    EXPECT_TRUE(mFs.isEmpty(empty).unwrap());
    EXPECT_TRUE(mFs.isEmpty(folder).unwrap());
    EXPECT_FALSE(mFs.isEmpty(mTemp.path()).unwrap());
    EXPECT_TRUE(mFs.isEmpty(mTemp / Path(L"none")).isError());
    EXPECT_TRUE(mFs.fileSize(mTemp / Path(L"none")).isError());
    EXPECT_GT(mFs.lastWriteTime(file).unwrap(), 0);
}

TEST_F(FilesystemTest, ProcessPaths) {
    const Path exe = mFs.executablePath().unwrap();
    EXPECT_TRUE(exe.isAbsolute());
    EXPECT_TRUE(exe.wide().ends_with(L"fs_windows_tests.exe")) << exe.utf8();
    EXPECT_TRUE(mFs.isDirectory(mFs.tempDirectory().unwrap()));

    const Path absolute = mFs.absolute(mTemp / Path(L"a\\..\\b/c")).unwrap();
    EXPECT_EQ(absolute, mTemp / Path(L"b\\c"));
}

TEST_F(FilesystemTest, CopiesHonourTheirOptions) {
    using std::filesystem::copy_options;
    const Path from = mTemp.writeFile(L"src\\a.txt", "new!");
    const Path to = mTemp.writeFile(L"dst.txt", "x");
    auto refused = mFs.copyFile(from, to, copy_options::none);
    EXPECT_EQ(refused.peekError(), static_cast<OsError>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(mFs.copyFile(from, to, copy_options::skip_existing).unwrap());
    EXPECT_TRUE(mFs.copyFile(from, to, copy_options::overwrite_existing).unwrap());
    EXPECT_EQ(mFs.fileSize(to).unwrap(), 4u);

    auto notAFolder = mFs.copyDirectory(from, mTemp / Path(L"copy"), copy_options::recursive,
                                        copy_options::none, copy_options::none);
    EXPECT_EQ(notAFolder.peekError(), static_cast<OsError>(ERROR_DIRECTORY));
    ASSERT_TRUE(mFs.copyDirectory(mTemp / Path(L"src"), mTemp / Path(L"copy"), copy_options::recursive,
                                  copy_options::overwrite_existing, copy_options::none)
                    .isOk());
    EXPECT_EQ(mFs.fileSize(mTemp / Path(L"copy\\a.txt")).unwrap(), 4u);
    EXPECT_TRUE(mFs.copyDirectory(mTemp / Path(L"none"), mTemp / Path(L"copy2"), copy_options::recursive,
                                  copy_options::none, copy_options::none)
                    .isError());
}

TEST_F(FilesystemTest, WalksStopOnRequestAndCarryTheCallbacksErrorText) {
    mTemp.writeFile(L"w\\1.txt", "1");
    mTemp.writeFile(L"w\\sub\\2.txt", "2");
    mTemp.writeFile(L"w\\sub\\deep\\3.txt", "3");
    const Path root = mTemp / Path(L"w");

    std::vector<std::wstring> seen;
    auto all = mFs.iterateRecursive(root, [&](const Path& entry, const file_status&) -> IterationResult {
        seen.push_back(entry.wide().substr(root.wide().size()));
        return ItrCtrl::Continue;
    });
    ASSERT_TRUE(all.isOk());
    EXPECT_EQ(std::get<ItrCtrl>(all.peek()), ItrCtrl::Continue);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"\\1.txt", L"\\sub", L"\\sub\\2.txt", L"\\sub\\deep",
                                               L"\\sub\\deep\\3.txt"}));

    int flat = 0;
    auto countFlat = [&](const Path&, const file_status&) -> IterationResult {
        ++flat;
        return ItrCtrl::Continue;
    };
    ASSERT_TRUE(mFs.iterate(root, countFlat).isOk());
    EXPECT_EQ(flat, 2);

    int calls = 0;
    auto stopped = mFs.iterateRecursive(root, [&](const Path&, const file_status&) -> IterationResult {
        return ++calls == 2 ? IterationResult(ItrCtrl::Stop) : IterationResult(ItrCtrl::Continue);
    });
    EXPECT_EQ(std::get<ItrCtrl>(stopped.unwrap()), ItrCtrl::Stop);
    EXPECT_EQ(calls, 2);

    auto failed =
        mFs.iterateRecursive(root, [&](const Path& entry, const file_status& status) -> IterationResult {
            if (status.type() == file_type::regular) {
                return std::string("bad entry ") + entry.filename().utf8();
            }
            return ItrCtrl::Continue;
        });
    EXPECT_TRUE(std::get<std::string>(failed.unwrap()).starts_with("bad entry "));
    EXPECT_TRUE(
        mFs.iterate(mTemp / Path(L"none"),
                    [](const Path&, const file_status&) -> IterationResult { return ItrCtrl::Continue; })
            .isError());
}

// Wine 8's CreateSymbolicLinkW reports success (for file and directory links, with or without the
// unprivileged flag) and creates nothing: the link path does not exist afterwards. On Windows the
// link exists. Either way reading a plain folder as a link fails.
TEST_F(FilesystemTest, SystemSymlinkCallsUnderThisSystem) {
    const Path target = mTemp.makeFolder(L"target");
    const Path link = mTemp / Path(L"link");
    auto created = mFs.createDirectorySymlink(Path(L"target"), link);
    const auto linkType = mFs.symlinkStatus(link).unwrap().type();
    if (created.isOk() && linkType == file_type::symlink) {
        EXPECT_EQ(mFs.readSymlink(link).unwrap(), Path(L"target"));
        EXPECT_TRUE(mFs.remove(link).unwrap());
        EXPECT_TRUE(mFs.isDirectory(target));
    } else {
        EXPECT_EQ(linkType, file_type::not_found) << "created: " << created.isOk();
    }
    EXPECT_TRUE(mFs.readSymlink(target).isError());
}

}  // namespace
}  // namespace kvx::fs
