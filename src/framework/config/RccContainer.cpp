#include "framework/config/RccContainer.h"

#include <cstring>
#include <set>
#include <string_view>

#include <fmt/format.h>
#include <zlib.h>

namespace kvx::resources {
namespace {

constexpr char kCipherMagic[4] = {'K', 'V', 'X', 'E'};
constexpr char kContainerMagic[4] = {'K', 'V', 'X', 'R'};
constexpr size_t kHeaderSize = 12;
constexpr size_t kCrcSize = 4;

class KeyStream {
public:
    explicit KeyStream(uint32_t seed) : mState(seed ^ 0x4B56584Bu) {
        if (mState == 0) {
            mState = 0x9E3779B9u;
        }
    }
    uint8_t next() {
        mState ^= mState << 13;
        mState ^= mState >> 17;
        mState ^= mState << 5;
        return static_cast<uint8_t>(mState & 0xFFu);
    }

private:
    uint32_t mState;
};

// Bounds-checked little-endian reads; every read says whether the bytes were there.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : mBytes(bytes) {}
    size_t remaining() const { return mBytes.size() - mPosition; }
    bool read(uint32_t& value, size_t width) {
        if (remaining() < width) {
            return false;
        }
        value = 0;
        for (size_t i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(mBytes[mPosition + i]) << (8 * i);
        }
        mPosition += width;
        return true;
    }
    bool read(std::string& text, size_t length) {
        if (remaining() < length) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(mBytes.data() + mPosition), length);
        mPosition += length;
        return true;
    }

private:
    std::span<const uint8_t> mBytes;
    size_t mPosition = 0;
};

void put(std::vector<uint8_t>& out, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

uint32_t crcOf(std::span<const uint8_t> bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes 32-bit lengths; feed large inputs in pieces.
    while (!bytes.empty()) {
        const size_t piece = std::min<size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, bytes.data(), static_cast<uInt>(piece));
        bytes = bytes.subspan(piece);
    }
    return static_cast<uint32_t>(crc);
}

bool validPath(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        const size_t length = slash == std::string_view::npos ? path.npos : slash - start;
        const std::string_view segment = path.substr(start, length);
        if (segment.empty() || segment == "." || segment == ".." || segment.find('\0') != segment.npos) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

bool hasMagic(std::span<const uint8_t> bytes, const char (&magic)[4]) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), magic, 4) == 0;
}

// A path that is also the folder of another path would make lookups ambiguous.
std::string checkFolderConflicts(const std::set<std::string>& paths) {
    for (const std::string& path : paths) {
        auto next = paths.upper_bound(path);
        const std::string folder = path + "/";
        if (next != paths.end() && next->compare(0, folder.size(), folder) == 0) {
            return fmt::format("Resource container: [{}] is both a file and a folder", path);
        }
    }
    return {};
}

}  // namespace

Result<std::vector<RccEntry>, std::string> parseRcc(std::span<const uint8_t> container) {
    if (container.size() < kHeaderSize + kCrcSize || !hasMagic(container, kContainerMagic)) {
        return Err{std::string("Resource container: not a resource container")};
    }
    const auto body = container.first(container.size() - kCrcSize);
    Reader crcReader(container.last(kCrcSize));
    uint32_t storedCrc = 0;
    crcReader.read(storedCrc, 4);
    if (storedCrc != crcOf(body)) {
        return Err{std::string("Resource container: checksum mismatch, the file is damaged")};
    }

    Reader reader(body.subspan(4));
    uint32_t version = 0, reserved = 0, count = 0;
    reader.read(version, 2);
    reader.read(reserved, 2);
    reader.read(count, 4);
    if (version != kRccContainerVersion) {
        return Err{fmt::format("Resource container: unsupported version [{}]", version)};
    }
    // Each entry takes at least 6 bytes, so the count can be checked before anything is reserved.
    if (count > reader.remaining() / 6) {
        return Err{fmt::format("Resource container: entry count [{}] exceeds the file", count)};
    }

    std::vector<RccEntry> entries;
    entries.reserve(count);
    std::set<std::string> paths;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t pathLength = 0, dataLength = 0;
        RccEntry entry;
        if (!reader.read(pathLength, 2) || !reader.read(entry.path, pathLength) || !reader.read(dataLength, 4) ||
            !reader.read(entry.data, dataLength)) {
            return Err{fmt::format("Resource container: entry [{}] runs past the end", i)};
        }
        if (!validPath(entry.path)) {
            return Err{fmt::format("Resource container: entry [{}] has an invalid path", i)};
        }
        if (!paths.insert(entry.path).second) {
            return Err{fmt::format("Resource container: [{}] appears twice", entry.path)};
        }
        entries.push_back(std::move(entry));
    }
    if (reader.remaining() != 0) {
        return Err{fmt::format("Resource container: [{}] unexpected bytes after the last entry", reader.remaining())};
    }
    if (std::string conflict = checkFolderConflicts(paths); !conflict.empty()) {
        return Err{std::move(conflict)};
    }
    return Ok{std::move(entries)};
}

Result<std::vector<uint8_t>, std::string> decipherRcc(std::span<const uint8_t> file) {
    if (file.size() < kHeaderSize || !hasMagic(file, kCipherMagic)) {
        return Err{std::string("Resource container: not an enciphered resource container")};
    }
    Reader reader(file.subspan(4, kHeaderSize - 4));
    uint32_t version = 0, reserved = 0, seed = 0;
    reader.read(version, 2);
    reader.read(reserved, 2);
    reader.read(seed, 4);
    if (version != kRccCipherVersion) {
        return Err{fmt::format("Resource container: unsupported cipher version [{}]", version)};
    }
    KeyStream keys(seed);
    std::vector<uint8_t> plain(file.begin() + kHeaderSize, file.end());
    for (uint8_t& byte : plain) {
        byte ^= keys.next();
    }
    return Ok{std::move(plain)};
}

std::vector<uint8_t> buildRcc(const std::vector<RccEntry>& entries) {
    std::vector<uint8_t> out(std::begin(kContainerMagic), std::end(kContainerMagic));
    put(out, kRccContainerVersion, 2);
    put(out, 0, 2);
    put(out, static_cast<uint32_t>(entries.size()), 4);
    for (const RccEntry& entry : entries) {
        put(out, static_cast<uint32_t>(entry.path.size()), 2);
        out.insert(out.end(), entry.path.begin(), entry.path.end());
        put(out, static_cast<uint32_t>(entry.data.size()), 4);
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    put(out, crcOf(out), 4);
    return out;
}

std::vector<uint8_t> encipherRcc(std::span<const uint8_t> container, uint32_t seed) {
    std::vector<uint8_t> out(std::begin(kCipherMagic), std::end(kCipherMagic));
    put(out, kRccCipherVersion, 2);
    put(out, 0, 2);
    put(out, seed, 4);
    KeyStream keys(seed);
    for (uint8_t byte : container) {
        out.push_back(byte ^ keys.next());
    }
    return out;
}

}  // namespace kvx::resources
