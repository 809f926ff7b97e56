#include "support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <span>

#include <gtest/gtest.h>

#include "foundation/fs/Filesystem.h"

namespace kvx::test {

namespace {
// The real filesystem, whatever a test has installed as the process-wide one.
fs::Filesystem& realFilesystem() {
    static fs::Filesystem system;
    return system;
}
}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    auto temp = realFilesystem().tempDirectory();
    EXPECT_TRUE(temp.isOk());
    mPath = temp.unwrap() / fs::Path(L"kvx-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(counter++));
    (void)realFilesystem().removeDirectory(mPath, true).isOk();
    EXPECT_TRUE(realFilesystem().createDirectories(mPath).isOk());
}

TempFolder::~TempFolder() {
    (void)realFilesystem().removeDirectory(mPath, true).isOk();
}

fs::Path TempFolder::makeFolder(const fs::Path& relative) const {
    const fs::Path folder = mPath / relative;
    EXPECT_TRUE(realFilesystem().createDirectories(folder).isOk()) << folder.utf8();
    return folder;
}

fs::Path TempFolder::writeFile(const fs::Path& relative, std::string_view content) const {
    const fs::Path file = mPath / relative;
    (void)realFilesystem().createDirectories(file.parent()).isOk();
    auto stream = realFilesystem().open(file, fs::FileAccess::Write, fs::CreateDisposition::CreateAlways,
                                        fs::ShareNone);
    EXPECT_TRUE(stream.isOk()) << file.utf8();
    if (stream.isOk()) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(content.data());
        EXPECT_TRUE(stream.peek()->write(std::span<const uint8_t>(bytes, content.size())).isOk());
    }
    return file;
}

}  // namespace kvx::test
