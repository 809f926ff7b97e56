#pragma once
// A recursive removal stopped partway, as power loss leaves it. The removal deletes from handles, so
// only the filesystem seam can come between its deletions; shared by the crash-test destager and the
// tests that stop an update through the seam.

#include <utility>
#include <vector>

#include "destager/CrashPoints.h"
#include "support/ForwardingFilesystem.h"

namespace kvx::apps::destager::crash {

// Its first recursive removal deletes the first half of the folder's files (rounded up) and passes
// revertOldFolderPartlyRemoved, where the crash hook stops the run.
class PartlyRemovingFilesystem final : public test::ForwardingFilesystem {
public:
    using ForwardingFilesystem::ForwardingFilesystem;

    Result<bool, fs::OsError> removeDirectory(const fs::Path& path, bool recursive) override {
        if (recursive && !std::exchange(mStopped, true)) {
            std::vector<fs::Path> files;
            const auto listFile = [&files](const fs::Path& entry, const fs::file_status& status) {
                if (std::filesystem::is_regular_file(status)) {
                    files.push_back(entry);
                }
                return fs::IterationResult{fs::ItrCtrl::Continue};
            };
            (void)inner().iterateRecursive(path, listFile);
            for (size_t i = 0; i < (files.size() + 1) / 2; ++i) {
                (void)inner().remove(files[i]);
            }
            crashPoint(CrashStep::revertOldFolderPartlyRemoved);
        }
        return inner().removeDirectory(path, recursive);
    }

private:
    bool mStopped = false;
};

// From a crash hook at revertOldFolderRemoval: the filesystem in use is wrapped to stop that removal.
inline void stopTheNextRemovalPartway() {
    std::shared_ptr<fs::IFilesystem> current = fs::setFilesystem(nullptr);
    fs::setFilesystem(
        std::make_shared<PartlyRemovingFilesystem>(current ? current : std::make_shared<fs::Filesystem>()));
}

}  // namespace kvx::apps::destager::crash
