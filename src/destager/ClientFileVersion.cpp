#include "destager/ClientFileVersion.h"

#include <windows.h>
#include <winver.h>

#include <vector>

#include "foundation/SystemLibrary.h"
#include "foundation/update/DestageContext.h"
#include "integration/AppKey.h"

namespace kvx::apps::internal {

namespace {
using GetFileVersionInfoSizeWFn = DWORD WINAPI(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL WINAPI(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL WINAPI(LPCVOID, LPCWSTR, LPVOID*, PUINT);

constexpr const char* kNoVersion = "0.0.0.0";
}  // namespace

std::string fileVersionText(const fs::Path& file) {
    if (file.empty()) {
        return kNoVersion;
    }
    auto library = foundation::SystemLibrary::load(L"version.dll");
    if (library.isError()) {
        return kNoVersion;
    }
    const foundation::SystemLibrary& version = library.peek();
    auto getSize = version.function<GetFileVersionInfoSizeWFn>("GetFileVersionInfoSizeW");
    auto getInfo = version.function<GetFileVersionInfoWFn>("GetFileVersionInfoW");
    auto query = version.function<VerQueryValueWFn>("VerQueryValueW");
    if (getSize.isError() || getInfo.isError() || query.isError()) {
        return kNoVersion;
    }
    DWORD ignored = 0;
    const DWORD size = getSize.peek()(file.c_str(), &ignored);
    if (size == 0) {
        return kNoVersion;
    }
    std::vector<uint8_t> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!getInfo.peek()(file.c_str(), 0, size, block.data()) ||
        !query.peek()(block.data(), L"\\", reinterpret_cast<LPVOID*>(&info), &infoLength) || info == nullptr ||
        infoLength < sizeof(VS_FIXEDFILEINFO)) {
        return kNoVersion;
    }
    return fmt::format("{}.{}.{}.{}", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}

fs::Path telemetryClientExePath() {
    // The key's value, written by the key repair before any step that raises a record; asking the
    // service as well would put its failures in the log of every record.
    const std::string installLocation = openAppKey(false, true).get<std::string>("InstallLocation");
    if (installLocation.empty()) {
        return {};
    }
    return clientExePathIn(fs::Path::fromUtf8(installLocation));
}

}  // namespace kvx::apps::internal
