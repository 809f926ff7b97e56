#include <windows.h>
#include <shlobj.h>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/paths/SpecialDirectoryRedirections.h"
#include "foundation/paths/TamrinUtils.h"

namespace kvx::foundation {

namespace {

bool endsWithSeparator(std::wstring_view text) {
    return !text.empty() && (text.back() == L'\\' || text.back() == L'/');
}

Result<std::wstring, long> baseFolder(SpecialDirectory directory, bool create, void* userToken) {
    if (auto redirected = specialDirectoryRedirection(directory)) {
        return Ok{widen(*redirected, KVX_SOURCE_LOCATION)};
    }
    return querySpecialFolder(directory, create, userToken);
}

void createFolderChain(SpecialDirectory directory, const std::wstring& folder) {
    const int code = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (code != ERROR_SUCCESS && code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
        KVX_LOG_ERROR("create folder error: type=[{}] code=[{}]", static_cast<uint32_t>(directory), code);
    }
}

}  // namespace

Result<std::string, long> TamrinUtilsImpl::getSpecialPathImpl(SpecialDirectory directory,
                                                               std::string_view relativeFolder,
                                                               std::string_view fileName, bool create,
                                                               void* userToken) const {
    auto base = baseFolder(directory, create, userToken);
    if (base.isError()) {
        return Err{base.unwrapError()};
    }
    std::wstring path = base.unwrap();
    if (path.empty() || path.back() != L'\\') {
        path += L'\\';
    }
    if (!relativeFolder.empty()) {
        path += widen(relativeFolder, KVX_SOURCE_LOCATION);
        if (!endsWithSeparator(path)) {
            path += L'\\';
        }
    }
    if (create) {
        createFolderChain(directory, path);
    }
    path += widen(fileName, KVX_SOURCE_LOCATION);
    return Ok{narrow(path, KVX_SOURCE_LOCATION)};
}

std::string TamrinUtilsImpl::getSpecialPathVerbose(SpecialDirectory directory, std::string_view relativeFolder,
                                                   std::string_view fileName, bool create, void* userToken) const {
    auto path = getSpecialPathImpl(directory, relativeFolder, fileName, create, userToken);
    if (path.isError()) {
        KVX_LOG_ERROR("Failed to get path, error[{}]", path.peekError());
        return {};
    }
    return path.unwrap();
}

std::string TamrinUtilsImpl::getMachineSettingsPath() const {
    return getSpecialPathVerbose(SpecialDirectory::programData, kMachineSettingsFolder, kMachineSettingsFileName,
                                 false, nullptr);
}

const TamrinUtilsImpl& tamrinUtils() {
    static const TamrinUtilsImpl instance;
    return instance;
}

fs::Path tamrinPathConstructorHelper(SpecialDirectory directory, std::string_view relativeFolder,
                                     std::string_view fileName, bool create) {
    auto path = tamrinUtils().getSpecialPathImpl(directory, relativeFolder, fileName, create, nullptr);
    if (path.isError()) {
        KVX_LOG_WARN("path construction failed: {}", path.peekError());
        return {};
    }
    return fs::Path::fromUtf8(path.peek());
}

}  // namespace kvx::foundation
