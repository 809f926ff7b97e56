#include "foundation/fs/FileListing.h"

#include "foundation/fs/Path.h"
#include "foundation/fs/Win32Handles.h"
#include "foundation/fs/Win32Paths.h"

namespace kvx::fs {

namespace {

struct Listing {
    std::unordered_set<std::string>& hits;
    size_t count = 0;  // hits of one folder's walk, towards the limit

    bool full() const { return count >= kMaxListedFiles; }
};

bool isDotEntry(std::wstring_view name) {
    return name == L"." || name == L"..";
}

// "C:/a/./b" -> "C:\a\b\"
std::wstring normalisedFolder(const std::wstring& folder) {
    std::wstring text = std::filesystem::path(folder).lexically_normal().make_preferred().native();
    if (text.empty()) {
        return L".\\";  // the current folder, not the root of the current drive
    }
    if (text.back() != L'\\') {
        text.push_back(L'\\');
    }
    return text;
}

// Calls `onEntry` for every entry of FindFirstFileW(search) but "." and ".."; false stops.
template <typename OnEntry>
void forEachEntry(const std::wstring& search, OnEntry&& onEntry) {
    WIN32_FIND_DATAW data{};
    detail::FindHandle find(FindFirstFileW(search.c_str(), &data));
    if (!find.valid()) {
        return;
    }
    do {
        if (!isDotEntry(data.cFileName) && !onEntry(data)) {
            return;
        }
    } while (FindNextFileW(find.get(), &data));
}

void listFolder(const std::wstring& folder, const std::wstring& pattern, bool recursive, Listing& listing) {
    forEachEntry(folder + pattern, [&](const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            listing.hits.insert(Path(detail::stripExtendedPrefix(folder + data.cFileName)).utf8());
            ++listing.count;
        }
        return !listing.full();
    });
    if (!recursive || listing.full()) {
        return;
    }
    // Links to folders are not followed: a link back up the tree would never end.
    forEachEntry(folder + L"*", [&](const WIN32_FIND_DATAW& data) {
        const DWORD attributes = data.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            listFolder(folder + data.cFileName + L"\\", pattern, true, listing);
        }
        return !listing.full();
    });
}

}  // namespace

std::unordered_set<std::string> filesMatchingPatterns(const std::vector<std::string>& folders,
                                                      const std::vector<std::string>& patterns,
                                                      bool recursive) {
    std::unordered_set<std::string> hits;
    for (const std::string& pattern : patterns) {
        const std::wstring widePattern = Path::fromUtf8(pattern).wide();
        for (const std::string& folder : folders) {
            Listing listing{hits};
            // Walked in the long-path form like every other operation; hits are named plainly.
            std::wstring start = detail::extendedLengthPath(Path(normalisedFolder(Path::fromUtf8(folder).wide())));
            if (start.back() != L'\\') {
                start.push_back(L'\\');
            }
            listFolder(start, widePattern, recursive, listing);
        }
    }
    return hits;
}

}  // namespace kvx::fs
