// The first relaunch variant: the desktop shell, which runs as the signed-in user, starts the
// program through its own automation objects, so the program is the shell's unelevated child.
#include <windows.h>

#include <shellapi.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/Path.h"
#include "framework/config/ConfigSystem.h"
#include "process/ClientLaunch.h"
#include "process/HresultText.h"
#include "process/ProcessUtils.h"

namespace kvx::apps {

using services::process::hresultFallbackText;

namespace {

constexpr int64_t kPollMs = 10;

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (mPointer != nullptr) {
            mPointer->Release();
        }
    }
    T* operator->() const { return mPointer; }
    T* get() const { return mPointer; }
    T** put() { return &mPointer; }
    void** putVoid() { return reinterpret_cast<void**>(&mPointer); }

private:
    T* mPointer = nullptr;
};

// A VARIANT that clears itself.
struct Variant {
    VARIANT value;
    Variant() { VariantInit(&value); }
    explicit Variant(const std::wstring& text) : Variant() {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text.c_str());
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value); }
};

void logErrorHresult(const std::string& message, HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = foundation::narrow(std::wstring_view(buffer, length), KVX_SOURCE_LOCATION);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
    } else {
        text = hresultFallbackText(static_cast<uint32_t>(hr));
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    KVX_LOG_ERROR("{}. HRESULT: [0x{:08x}], Error message: [{}]", message, static_cast<uint32_t>(hr), text);
}

HRESULT createShellWindows(ComPtr<IShellWindows>& windows) {
    return CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, windows.putVoid());
}

// The desktop's top-level shell browser; false (logged) when the shell does not answer.
bool findDesktopWindow(ComPtr<IShellBrowser>& browser) {
    ComPtr<IShellWindows> windows;
    HRESULT hr = createShellWindows(windows);
    if (FAILED(hr)) {
        // Right after a resume from suspend the shell may not answer yet.
        const int64_t seconds = static_cast<int64_t>(
            config::configSystem().getUInt32("indev.waitForExplorerToResumeAfterSuspendTimeoutS", 9));
        KVX_LOG_INFO("Waiting up to [{}] seconds for the windows explorer to resume before retrying",
                     seconds);
        wchar_t windowsFolder[MAX_PATH] = {};
        GetWindowsDirectoryW(windowsFolder, MAX_PATH);
        (void)services::process::processUtils().waitForProcessRunning(
            std::wstring(windowsFolder) + L"\\explorer.exe", seconds * 1000, kPollMs);
        hr = createShellWindows(windows);
    }
    if (FAILED(hr)) {
        KVX_LOG_ERROR("Failed to create ShellWindows COM instance (0x{:08x})", static_cast<uint32_t>(hr));
        return false;
    }
    Variant location;
    location.value.vt = VT_I4;
    location.value.lVal = CSIDL_DESKTOP;
    Variant empty;
    long window = 0;
    ComPtr<IDispatch> desktop;
    hr = windows->FindWindowSW(&location.value, &empty.value, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                               desktop.put());
    ComPtr<IServiceProvider> provider;
    if (hr == S_OK && desktop.get() != nullptr) {
        hr = desktop->QueryInterface(IID_IServiceProvider, provider.putVoid());
    } else if (SUCCEEDED(hr)) {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        hr = provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid());
    }
    if (FAILED(hr)) {
        KVX_LOG_ERROR("Failed to query for top browser (0x{:08x})", static_cast<uint32_t>(hr));
        return false;
    }
    return true;
}

// The desktop view's background object.
bool getDesktopAutomationObject(IShellBrowser& browser, ComPtr<IDispatch>& background) {
    ComPtr<IShellView> view;
    HRESULT hr = browser.QueryActiveShellView(view.put());
    if (FAILED(hr)) {
        logErrorHresult("Failed to access active shell view", hr);
        return false;
    }
    if (view.get() == nullptr) {
        logErrorHresult("Failed to access active shell view interface", E_NOINTERFACE);
        return false;
    }
    hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid());
    if (FAILED(hr)) {
        logErrorHresult("Failed to access shell view background object", hr);
        return false;
    }
    if (background.get() == nullptr) {
        logErrorHresult("Failed to access shell view background object interface", E_NOINTERFACE);
        return false;
    }
    return true;
}

}  // namespace

bool startExecUsingExplorerCred(const std::string& exe, const std::string& dir,
                                const std::string& arguments) {
    ComPtr<IShellBrowser> browser;
    ComPtr<IDispatch> background;
    if (!findDesktopWindow(browser) || !getDesktopAutomationObject(*browser.get(), background)) {
        return false;
    }
    ComPtr<IShellFolderViewDual> folderView;
    HRESULT hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid());
    if (FAILED(hr)) {
        logErrorHresult("Failed to obtain IShellFolderViewDual interface", hr);
        return false;
    }
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    hr = folderView->get_Application(application.put());
    if (SUCCEEDED(hr) && application.get() == nullptr) {
        hr = E_POINTER;  // a shell that answers without an object
    }
    if (SUCCEEDED(hr)) {
        hr = application->QueryInterface(IID_IShellDispatch2, shell.putVoid());
    }
    if (FAILED(hr)) {
        logErrorHresult("Failed to access Explorer application COM object", hr);
        return false;
    }
    const std::string path = (fs::Path::fromUtf8(dir) / fs::Path::fromUtf8(exe)).utf8();
    KVX_LOG_INFO("Starting client using explorer credentials: '{}' with args: '{}'", path, arguments);
    const std::wstring widePath = foundation::widen(path, KVX_SOURCE_LOCATION);
    BSTR file = SysAllocString(widePath.c_str());
    Variant args(foundation::widen(arguments, KVX_SOURCE_LOCATION));
    Variant directory(foundation::widen(dir, KVX_SOURCE_LOCATION));
    Variant verb(L"open");
    Variant show;
    show.value.vt = VT_I4;
    show.value.lVal = SW_SHOWNORMAL;
    hr = shell->ShellExecute(file, args.value, directory.value, verb.value, show.value);
    SysFreeString(file);
    KVX_LOG_VERBOSE(
        "IShellDispatch2::ShellExecute completed with status HRESULT=[0x{:08x}], GetLastError=[{}]",
        static_cast<uint32_t>(hr), GetLastError());
    if (FAILED(hr)) {
        logErrorHresult("Failed to start client", hr);
        return false;
    }
    auto& config = config::configSystem();
    if (config.getBool("indev.waitForExecUsingExplorerCred", false)) {
        const int64_t seconds =
            static_cast<int64_t>(config.getUInt32("indev.waitForExecUsingExplorerCredTimeoutS", 3));
        KVX_LOG_INFO("Waiting up to [{}] seconds for the process [{}] to start", seconds, path);
        if (!services::process::processUtils().waitForProcessRunning(widePath, seconds * 1000, kPollMs)) {
            KVX_LOG_ERROR("waitForProcessRunning timed out while waiting for the process [{}] to start",
                          path);
            return false;
        }
        KVX_LOG_INFO("Process [{}] started successfully", path);
    }
    return true;
}

}  // namespace kvx::apps
