// korv_sandbox: builds a sandbox install of the simulated suite with a staged update, runs the
// staged destager as the client does, reports what happened and removes it all again.
//   setup <installRoot> [--staged-name=N] [--old-version=V] [--new-version=V] [--no-service]
//                       [--programs=a.exe,b.exe] [--sim-dir=D] [--destager-dir=D]
//                       [--no-uninstall-entry] [--stale-bundle-key] [--no-client-folder] [--destager-running]
//   run <installRoot> [--staged-name=N] [--timeout-ms=T] [--args=TEXT]
//   report <installRoot> [--staged-name=N] [--section=folders|service|machine|registry|shortcuts]
//   teardown <installRoot> [--staged-name=N]
//   errors <machine.ini>   the error records of any machine.ini, such as one a player sent in
//   hold-update-event      (started by setup --destager-running) holds the event until teardown
// The install root's last folder must be "Korv Desktop"; the client folder is <installRoot>\Korv Desktop.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "DestagerRun.h"
#include "RegistrationReport.h"
#include "ResultMeaning.h"
#include "Sandbox.h"
#include "SandboxReport.h"
#include "SandboxShortcuts.h"
#include "UpdateEventHolder.h"

namespace {

using namespace kvx::sandbox;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

void print(const std::string& text) { std::fputs(text.c_str(), stdout); }

int usage(const std::string& problem) {
    std::fputs(("korv_sandbox: " + problem + "\n").c_str(), stderr);
    std::fputs("usage: korv_sandbox setup|run|report|teardown <installRoot> [--option=value ...]\n"
               "       korv_sandbox errors <machine.ini>\n"
               "setup makes a clean install (no error record, no WARN or ERROR line in the log);\n"
               "these options break it as support meets it, each shown with what a run records:\n"
               "  --no-uninstall-entry  neither Windows Uninstall entry exists: UPEC-4201 \"The app guid is\n"
               "                        empty\", UPEC-4200 \"Couldn't open the key ... for updating\", and\n"
               "                        WARN \"Incorrect BundleProviderKey found\" at each of the 4 look-ups\n"
               "  --stale-bundle-key    BundleProviderKey names an earlier install's removed entry: no\n"
               "                        record, one WARN \"Incorrect BundleProviderKey found\", key corrected\n"
               "  --no-client-folder    the client folder is gone, the service registered but stopped:\n"
               "                        result 0, no record; ERROR \"Could not find existing client folder\",\n"
               "                        WARN \"Existing client directory is missing\", WARN \"Could not find\n"
               "                        main client folder\", ERROR \"Missing executable\" (the relaunch)\n"
               "  --destager-running    a sandbox process holds \"Global\\Korvapp::UpdateInProgress\" until\n"
               "                        teardown: exit code -3, nothing written, nothing logged\n",
               stderr);
    return kUsage;
}

int failed(const std::string& what) {
    std::fputs(("korv_sandbox: " + what + "\n").c_str(), stderr);
    return kFailed;
}

std::map<std::wstring, std::wstring> optionsFrom(int argc, wchar_t** argv) {
    std::map<std::wstring, std::wstring> options;
    for (int i = 3; i < argc; ++i) {
        std::wstring argument = argv[i];
        if (argument.rfind(L"--", 0) != 0) {
            continue;
        }
        const size_t equals = argument.find(L'=');
        options[argument.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2)] =
            equals == std::wstring::npos ? L"" : argument.substr(equals + 1);
    }
    return options;
}

std::wstring option(const std::map<std::wstring, std::wstring>& options, const wchar_t* name,
                    const std::wstring& fallback = L"") {
    auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

std::vector<std::wstring> splitList(const std::wstring& text) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const size_t comma = text.find(L',', start);
        const std::wstring item = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!item.empty()) {
            items.push_back(item);
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return items;
}

int setup(const SandboxLayout& layout, const std::map<std::wstring, std::wstring>& options) {
    SetupOptions setupOptions;
    setupOptions.newVersion = buildFileVersion();
    setupOptions.sources = sourcesInBuild(ownFolder().parent_path());
    setupOptions.sources.simFolder = option(options, L"sim-dir", setupOptions.sources.simFolder.wstring());
    setupOptions.sources.destagerFolder =
        option(options, L"destager-dir", setupOptions.sources.destagerFolder.wstring());
    for (auto [name, target] : {std::pair{L"old-version", &setupOptions.oldVersion},
                                std::pair{L"new-version", &setupOptions.newVersion}}) {
        if (options.count(name) != 0) {
            auto version = parseFileVersion(utf8(option(options, name)));
            if (!version) {
                return usage("--" + utf8(name) + " needs four numbers, as 13.696.0.6209");
            }
            *target = *version;
        }
    }
    setupOptions.registerService = options.count(L"no-service") == 0;
    setupOptions.noUninstallEntry = options.count(L"no-uninstall-entry") != 0;
    setupOptions.staleBundleKey = options.count(L"stale-bundle-key") != 0;
    setupOptions.noClientFolder = options.count(L"no-client-folder") != 0;
    setupOptions.destagerRunning = options.count(L"destager-running") != 0;
    if (options.count(L"programs") != 0) {
        setupOptions.programs = splitList(option(options, L"programs"));
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(setupOptions.sources.destagerFolder / kDestagerExeName, error)) {
        print("note: no " + utf8(kDestagerExeName) + " in " + utf8(setupOptions.sources.destagerFolder.wstring()) +
              "; the staged folder gets none\n");
        setupOptions.withDestager = false;
    }
    if (auto done = setupSandbox(layout, setupOptions); done.isError()) {
        return failed("setup: " + done.unwrapError());
    }
    print("sandbox ready: client " + fileVersionText(setupOptions.oldVersion) + " in " +
          utf8(layout.clientPath.wstring()) + ", update " + fileVersionText(setupOptions.newVersion) + " staged in " +
          utf8(layout.stagedClientPath.wstring()) + "\n");
    return 0;
}

int run(const SandboxLayout& layout, const std::map<std::wstring, std::wstring>& options) {
    const auto timeout = static_cast<uint32_t>(std::wcstoul(option(options, L"timeout-ms", L"120000").c_str(), nullptr, 10));
    auto outcome = runDestager(layout.stagedDestagerPath, option(options, L"args"), timeout);
    if (outcome.isError()) {
        return failed("run: " + outcome.unwrapError());
    }
    const DestagerOutcome& result = outcome.peek();
    print("destager exit code: " + std::to_string(result.exitCode) + " (" + exitCodeMeaning(result.exitCode) + ")\n");
    print("destager wall time: " + std::to_string(result.wallMs) + " ms\n");
    return 0;
}

int report(const SandboxLayout& layout, const std::map<std::wstring, std::wstring>& options) {
    const std::wstring section = option(options, L"section");
    if (section.empty()) {
        print(formatReport(layout));
    } else if (section == L"folders") {
        print(formatFolders(layout));
    } else if (section == L"service") {
        print(formatServiceAndPrograms());
    } else if (section == L"machine") {
        print(formatMachineIni());
    } else if (section == L"registry") {
        print(formatRegistry() + formatRegistration(layout));
    } else if (section == L"shortcuts") {
        print(formatShortcuts(layout));
    } else {
        return usage("unknown section " + utf8(section));
    }
    return 0;
}

int errors(const std::filesystem::path& machineIni) {
    auto text = formatMachineIniErrors(machineIni);
    if (text.isError()) {
        return failed("errors: " + text.unwrapError());
    }
    print(text.peek());
    return 0;
}

int teardown(const SandboxLayout& layout) {
    if (auto done = teardownSandbox(layout); done.isError()) {
        return failed("teardown: " + done.unwrapError());
    }
    print("sandbox removed: " + utf8(layout.installRoot.wstring()) + "\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wstring(argv[1]) == kHoldCommand) {
        return holdUpdateEvent();
    }
    if (argc < 3) {
        return usage("a command and an install root are needed");
    }
    const std::wstring command = argv[1];
    if (command == L"errors") {
        return errors(argv[2]);
    }
    const auto options = optionsFrom(argc, argv);
    auto layout = makeLayout(argv[2], option(options, L"staged-name", kDefaultStagedName));
    if (layout.isError()) {
        return usage(layout.unwrapError());
    }
    if (command == L"setup") {
        return setup(layout.peek(), options);
    }
    if (command == L"run") {
        return run(layout.peek(), options);
    }
    if (command == L"report") {
        return report(layout.peek(), options);
    }
    if (command == L"teardown") {
        return teardown(layout.peek());
    }
    return usage("unknown command " + utf8(command));
}
