#include "StoredZip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "SandboxLayout.h"

namespace kvx::sandbox {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint16_t kVersion20 = 20;
constexpr uint16_t kUtf8NamesFlag = 0x0800;
constexpr uint32_t kMsDosDirectoryAttribute = 0x10;
// 2024-01-01 00:00:00 in MS-DOS form; the destager reads no times.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

void put16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}

void put32(std::string& out, uint32_t value) {
    put16(out, static_cast<uint16_t>(value & 0xffff));
    put16(out, static_cast<uint16_t>(value >> 16));
}

struct WrittenEntry {
    std::string name;
    uint32_t crc;
    uint32_t size;
    uint32_t offset;
    bool directory;
};

// The fields local and central headers share, from "version needed" to the name length.
void putCommonFields(std::string& out, const WrittenEntry& entry) {
    put16(out, kVersion20);
    put16(out, kUtf8NamesFlag);
    put16(out, 0);  // stored
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, entry.crc);
    put32(out, entry.size);
    put32(out, entry.size);
    put16(out, static_cast<uint16_t>(entry.name.size()));
    put16(out, 0);  // extra field length
}

std::string centralHeader(const WrittenEntry& entry) {
    std::string out;
    put32(out, kCentralHeaderSignature);
    put16(out, kVersion20);  // made by: MS-DOS attributes
    putCommonFields(out, entry);
    put16(out, 0);  // comment length
    put16(out, 0);  // disk
    put16(out, 0);  // internal attributes
    put32(out, entry.directory ? kMsDosDirectoryAttribute : 0);
    put32(out, entry.offset);
    return out + entry.name;
}

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
        std::string name = prefix + "/" + utf8(std::filesystem::relative(it->path(), folder).generic_wstring());
        const bool directory = it->is_directory();
        sources.push_back({directory ? name + "/" : name, directory ? std::filesystem::path() : it->path()});
    }
    std::sort(sources.begin(), sources.end(), [](const auto& a, const auto& b) { return a.entryName < b.entryName; });
    return sources;
}

Result<void, std::string> writeStoredZip(const std::filesystem::path& zipPath, const std::vector<ZipSource>& entries) {
    std::string archive;
    std::vector<WrittenEntry> written;
    for (const ZipSource& source : entries) {
        const bool directory = !source.entryName.empty() && source.entryName.back() == '/';
        std::string data;
        if (!directory) {
            auto content = readWhole(source.file);
            if (content.isError()) {
                return Err{content.unwrapError()};
            }
            data = content.unwrap();
        }
        const auto crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        WrittenEntry entry{source.entryName, crc, static_cast<uint32_t>(data.size()),
                           static_cast<uint32_t>(archive.size()), directory};
        put32(archive, kLocalHeaderSignature);
        putCommonFields(archive, entry);
        archive += entry.name;
        archive += data;
        written.push_back(std::move(entry));
    }
    const auto directoryOffset = static_cast<uint32_t>(archive.size());
    for (const WrittenEntry& entry : written) {
        archive += centralHeader(entry);
    }
    const auto directorySize = static_cast<uint32_t>(archive.size() - directoryOffset);
    put32(archive, kEndRecordSignature);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<uint16_t>(written.size()));
    put16(archive, static_cast<uint16_t>(written.size()));
    put32(archive, directorySize);
    put32(archive, directoryOffset);
    put16(archive, 0);  // comment length

    std::ofstream out(zipPath, std::ios::binary | std::ios::trunc);
    out.write(archive.data(), static_cast<std::streamsize>(archive.size()));
    out.close();
    if (!out) {
        return Err{"cannot write [" + utf8(zipPath.wstring()) + "]"};
    }
    return Ok{};
}

}  // namespace kvx::sandbox
