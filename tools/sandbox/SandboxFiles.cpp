#include "SandboxFiles.h"

#include <fstream>

#include "StoredZip.h"

namespace kvx::sandbox {

namespace {

Result<void, std::string> copyInto(const std::filesystem::path& from, const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::copy_file(from, folder / from.filename(), std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        return Err{"cannot copy [" + utf8(from.wstring()) + "]: " + error.message()};
    }
    return Ok{};
}

Result<void, std::string> writeText(const std::filesystem::path& file, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        return Err{"cannot write [" + utf8(file.wstring()) + "]"};
    }
    return Ok{};
}

}  // namespace

const std::vector<std::wstring>& simulatedPrograms() {
    static const std::vector<std::wstring> programs{
        L"KorvDesktop.exe",      L"KorvLauncher.exe", L"KorvLaunchHelper.exe", L"KorvConnect_microsoft.exe",
        L"KorvLocalHostSvc.exe", L"Link2Korv.exe",    L"FaultReporter.exe",    L"KorvUpdater.exe",
        L"KorvUninstall.exe",    L"KorvBackgroundService.exe"};
    return programs;
}

Result<void, std::string> writeClientFolder(const std::filesystem::path& folder, const SandboxSources& sources,
                                            const FileVersion& version) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return Err{"cannot create [" + utf8(folder.wstring()) + "]: " + error.message()};
    }
    for (const std::wstring& program : simulatedPrograms()) {
        if (auto copied = copyInto(sources.simFolder / program, folder); copied.isError()) {
            return copied;
        }
    }
    if (auto copied = copyInto(sources.simFolder / kSimModuleName, folder); copied.isError()) {
        return copied;
    }
    if (auto stamped = stampFileVersion(folder / L"KorvDesktop.exe", version); stamped.isError()) {
        return stamped;
    }
    const std::string text = fileVersionText(version);
    if (auto written = writeText(folder / kVersionFileName, text + "\n"); written.isError()) {
        return written;
    }
    // The client keeps a DLL of its folder loaded, as the real one does.
    if (auto written = writeText(folder / L"KorvDesktop.exe.sim", "dll=KorvSimModule.dll\n"); written.isError()) {
        return written;
    }
    return writeText(folder / L"resources" / L"strings.txt", "title=Korv app " + text + "\n");
}

Result<void, std::string> recordRelaunchesFrom(const std::filesystem::path& folder,
                                              const std::filesystem::path& record) {
    const std::string setting = "record=" + utf8(record.wstring()) + "\n";
    if (auto written = writeText(folder / L"KorvDesktop.exe.sim", "dll=KorvSimModule.dll\n" + setting);
        written.isError()) {
        return written;
    }
    return writeText(folder / L"KorvLaunchHelper.exe.sim", setting);
}

Result<void, std::string> copyDestager(const std::filesystem::path& folder, const SandboxSources& sources) {
    for (const wchar_t* file : {kDestagerExeName, kDestagerResourceName}) {
        if (auto copied = copyInto(sources.destagerFolder / file, folder); copied.isError()) {
            return copied;
        }
    }
    return Ok{};
}

Result<void, std::string> writeStagedArchive(const SandboxLayout& layout) {
    return writeStoredZip(layout.zipPath, zipSourcesOf(layout.stagedClientPath, utf8(kClientFolderName)));
}

int countFiles(const std::filesystem::path& folder) {
    std::error_code error;
    int count = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        count += it->is_regular_file() ? 1 : 0;
    }
    return error ? -1 : count;
}

}  // namespace kvx::sandbox
