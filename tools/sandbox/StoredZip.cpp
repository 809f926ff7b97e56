#include "StoredZip.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "SandboxLayout.h"
#include "zipwriter/ZipWriter.h"

namespace kvx::sandbox {

namespace {

Result<std::string, std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return Err{"cannot read [" + utf8(file.wstring()) + "]"};
    }
    return Ok{std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
}

}  // namespace

std::vector<ZipSource> zipSourcesOf(const std::filesystem::path& folder, const std::string& prefix) {
    std::vector<ZipSource> sources;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string name =
            prefix + "/" + utf8(std::filesystem::relative(it->path(), folder).generic_wstring());
        const bool directory = it->is_directory();
        sources.push_back({directory ? name + "/" : name, directory ? std::filesystem::path() : it->path()});
    }
    std::sort(sources.begin(), sources.end(),
              [](const auto& a, const auto& b) { return a.entryName < b.entryName; });
    return sources;
}

Result<void, std::string> writeStoredZip(const std::filesystem::path& zipPath,
                                         const std::vector<ZipSource>& entries) {
    // MS-DOS attributes, as the client's archives carry them.
    std::vector<zipwriter::ZipEntry> zipEntries;
    for (const ZipSource& source : entries) {
        if (!source.entryName.empty() && source.entryName.back() == '/') {
            zipEntries.push_back({source.entryName, "", zipwriter::kMsDosDirectory});
            continue;
        }
        auto content = readWhole(source.file);
        if (content.isError()) {
            return Err{content.unwrapError()};
        }
        zipEntries.push_back({source.entryName, content.unwrap(), 0});
    }
    zipwriter::ZipOptions options;
    options.madeBy = zipwriter::kMadeByMsDos;
    const auto archive = zipwriter::buildStoredZip(zipEntries, options).bytes;

    std::ofstream out(zipPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
    out.close();
    if (!out) {
        return Err{"cannot write [" + utf8(zipPath.wstring()) + "]"};
    }
    return Ok{};
}

}  // namespace kvx::sandbox
