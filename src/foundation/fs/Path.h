#pragma once
// A UTF-16 path; the program's strings are UTF-8. Joining, parent and file-name queries follow the
// standard library's path rules ("\" and "/" both separate, "\" is preferred).

#include <filesystem>
#include <string>
#include <string_view>

namespace kvx::fs {

class Path {
public:
    Path() = default;
    Path(std::wstring wide) : mPath(std::move(wide)) {}
    Path(const wchar_t* wide) : mPath(wide) {}
    Path(std::filesystem::path path) : mPath(std::move(path)) {}
    static Path fromUtf8(std::string_view utf8);

    std::string utf8() const;
    const std::wstring& wide() const { return mPath.native(); }
    const wchar_t* c_str() const { return mPath.c_str(); }
    const std::filesystem::path& std() const { return mPath; }

    Path operator/(const Path& other) const { return Path(mPath / other.mPath); }
    Path& operator/=(const Path& other) {
        mPath /= other.mPath;
        return *this;
    }
    Path parent() const { return Path(mPath.parent_path()); }
    Path filename() const { return Path(mPath.filename()); }
    bool empty() const { return mPath.empty(); }
    bool isAbsolute() const { return mPath.is_absolute(); }

    friend bool operator==(const Path& a, const Path& b) { return a.mPath == b.mPath; }

private:
    std::filesystem::path mPath;
};

}  // namespace kvx::fs
