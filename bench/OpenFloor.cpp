// open_floor FOLDER
// What Wine makes every file cost before any validation work: the wall time to open and close each
// file of a folder, and to open, read whole and close each, on one thread, no CRC. The suite-down
// window cannot fall below the first of these with a validation that must open every file.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void listFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            listFiles(folder + L"\\" + name, files);
        } else {
            files.push_back(folder + L"\\" + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

template <typename Each>
long long millisecondsFor(const std::vector<std::wstring>& files, Each each) {
    const auto begin = std::chrono::steady_clock::now();
    for (const std::wstring& file : files) {
        each(file);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();
}

HANDLE openForRead(const std::wstring& file) {
    return CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: open_floor FOLDER\n");
        return 2;
    }
    std::vector<std::wstring> files;
    listFiles(argv[1], files);
    size_t failed = 0;
    const long long openClose = millisecondsFor(files, [&](const std::wstring& file) {
        HANDLE handle = openForRead(file);
        failed += handle == INVALID_HANDLE_VALUE;
        CloseHandle(handle);
    });
    std::vector<char> chunk(128 << 10);
    unsigned long long bytes = 0;
    const long long openRead = millisecondsFor(files, [&](const std::wstring& file) {
        HANDLE handle = openForRead(file);
        DWORD got = 0;
        while (ReadFile(handle, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
            bytes += got;
        }
        CloseHandle(handle);
    });
    std::printf("files=%zu failed=%zu bytes=%llu open_close=%lld open_read=%lld\n", files.size(), failed, bytes,
                openClose, openRead);
    return failed == 0 ? 0 : 1;
}
