#pragma once
// A fresh folder below the temporary folder, removed with everything in it at the end.

#include <string_view>

#include "foundation/fs/Path.h"

namespace kvx::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::Path& path() const { return mPath; }
    fs::Path operator/(const fs::Path& relative) const { return mPath / relative; }

    // Creates the file (and its folders) with the given content.
    fs::Path writeFile(const fs::Path& relative, std::string_view content) const;
    fs::Path makeFolder(const fs::Path& relative) const;

private:
    fs::Path mPath;
};

}  // namespace kvx::test
