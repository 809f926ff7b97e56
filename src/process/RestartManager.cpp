#include "process/RestartManager.h"

#include <algorithm>
#include <optional>

#include "foundation/SystemLibrary.h"

namespace kvx::services::process {
namespace {

using StartSessionFn = DWORD WINAPI(DWORD*, DWORD, WCHAR*);
using RegisterResourcesFn = DWORD WINAPI(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using GetListFn = DWORD WINAPI(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
using EndSessionFn = DWORD WINAPI(DWORD);

class SystemRestartManager final : public IRestartManager {
public:
    SystemRestartManager() {
        auto library = foundation::SystemLibrary::load(L"rstrtmgr.dll");
        if (library.isError()) {
            mLoadError = library.peekError().osError;
            return;
        }
        mLibrary.emplace(library.unwrap());
        auto start = mLibrary->function<StartSessionFn>("RmStartSession");
        auto registerResources = mLibrary->function<RegisterResourcesFn>("RmRegisterResources");
        auto getList = mLibrary->function<GetListFn>("RmGetList");
        auto end = mLibrary->function<EndSessionFn>("RmEndSession");
        if (start.isError() || registerResources.isError() || getList.isError() || end.isError()) {
            mLoadError = ERROR_PROC_NOT_FOUND;
            return;
        }
        mStart = start.unwrap();
        mRegister = registerResources.unwrap();
        mGetList = getList.unwrap();
        mEnd = end.unwrap();
    }

    DWORD startSession(DWORD& session) override {
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        return mStart != nullptr ? mStart(&session, 0, key) : mLoadError;
    }

    DWORD registerFiles(DWORD session, const std::vector<std::wstring>& files) override {
        if (mRegister == nullptr) {
            return mLoadError;
        }
        std::vector<LPCWSTR> names;
        names.reserve(files.size());
        for (const auto& file : files) {
            names.push_back(file.c_str());
        }
        return mRegister(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr);
    }

    DWORD getList(DWORD session, uint32_t room, std::vector<RmProcessEntry>& entries) override {
        if (mGetList == nullptr) {
            return mLoadError;
        }
        std::vector<RM_PROCESS_INFO> infos(room);
        UINT needed = 0;
        UINT count = room;
        DWORD reasons = 0;
        const DWORD status = mGetList(session, &needed, &count, infos.data(), &reasons);
        if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
            auto listed = listedProcesses(infos.data(), count, room);
            entries.insert(entries.end(), listed.begin(), listed.end());
        }
        return status;
    }

    DWORD endSession(DWORD session) override { return mEnd != nullptr ? mEnd(session) : mLoadError; }

private:
    std::optional<foundation::SystemLibrary> mLibrary;
    DWORD mLoadError = ERROR_SUCCESS;
    StartSessionFn* mStart = nullptr;
    RegisterResourcesFn* mRegister = nullptr;
    GetListFn* mGetList = nullptr;
    EndSessionFn* mEnd = nullptr;
};

}  // namespace

std::vector<RmProcessEntry> listedProcesses(const RM_PROCESS_INFO* infos, UINT filled, UINT room) {
    std::vector<RmProcessEntry> entries;
    for (UINT i = 0; i < std::min(filled, room); ++i) {
        if (infos[i].Process.dwProcessId != 0) {
            entries.push_back({infos[i].Process.dwProcessId, infos[i].strAppName,
                               static_cast<uint32_t>(infos[i].ApplicationType)});
        }
    }
    return entries;
}

std::shared_ptr<IRestartManager> makeSystemRestartManager() { return std::make_shared<SystemRestartManager>(); }

}  // namespace kvx::services::process
