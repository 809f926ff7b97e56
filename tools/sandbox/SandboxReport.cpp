#include "SandboxReport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "MachineFiles.h"
#include "RegistrationReport.h"
#include "ResultMeaning.h"
#include "Sandbox.h"
#include "SandboxFiles.h"
#include "SandboxProcesses.h"
#include "SandboxRegistry.h"
#include "SandboxService.h"
#include "SandboxShortcuts.h"
#include "destager/TelemetryRecordDecoding.h"

namespace kvx::sandbox {

namespace {

std::string padded(std::string text, size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string describeFolder(const std::filesystem::path& folder) {
    const int files = countFiles(folder);
    if (files == 0) {
        return "(empty)";
    }
    const std::string version = clientVersionIn(folder);
    const std::string count = std::to_string(files) + (files == 1 ? " file" : " files");
    return version.empty() ? count : "client " + version + ", " + count;
}

std::string folderLine(const SandboxLayout& layout, const std::filesystem::path& path, const std::string& what) {
    const std::string name = utf8(std::filesystem::relative(path, layout.installRoot).wstring());
    return "  " + padded(name, 44) + " " + what + "\n";
}

std::string recordCount(size_t records) {
    return std::to_string(records) + " error record" + (records == 1 ? "" : "s");
}

// The error records are one long encoded value: counted, then one line each below.
std::string machineLine(const std::string& key, const std::string& value) {
    if (key == "machine.destageerrors") {
        const size_t records = apps::decodeDestageErrors(value).size();
        return "  " + key + " = " + recordCount(records) + (records == 0 ? "\n" : ", oldest first:\n") +
               formatErrorRecords(value, false);
    }
    std::string line = "  " + key + " = " + value;
    if (key == "machine.destageresult" && !value.empty()) {
        line += "  (" + std::string(destageResultMeaning(static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10)))) + ")";
    }
    return line + "\n";
}

}  // namespace

std::string formatFolders(const SandboxLayout& layout) {
    std::string out = "folders in " + utf8(layout.installRoot.wstring()) + ":\n";
    std::vector<std::filesystem::directory_entry> entries;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(layout.installRoot, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        const std::filesystem::path nested = entry.path() / kClientFolderName;
        if (!entry.is_directory()) {
            out += folderLine(layout, entry.path(), std::to_string(entry.file_size(error)) + " bytes");
        } else if (clientVersionIn(entry.path()).empty() && std::filesystem::is_directory(nested, error)) {
            out += folderLine(layout, nested, describeFolder(nested));
        } else {
            out += folderLine(layout, entry.path(), describeFolder(entry.path()));
        }
    }
    return entries.empty() ? out + "  (none)\n" : out;
}

std::string formatServiceAndPrograms() {
    const ServiceInfo service = queryService();
    std::string out = "service " + utf8(kServiceName) + ": " + serviceStateText(service);
    if (service.installed) {
        out += (service.pid != 0 ? ", pid " + std::to_string(service.pid) : "") + ", " + utf8(service.imagePath);
    }
    const std::vector<RunningProgram> programs = runningSuitePrograms();
    out += "\nsuite programs running: " + std::to_string(programs.size()) + "\n";
    for (const RunningProgram& program : programs) {
        out += "  " + padded(utf8(program.name), 28) + " pid " + padded(std::to_string(program.pid), 6) + " " +
               utf8(program.path) + "\n";
    }
    return out;
}

std::string formatRelaunches(const SandboxLayout& layout) {
    std::string out = "programs started after the swap:";
    std::ifstream in(layout.installRoot / kStartsFileName, std::ios::binary);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t pid = line.find("pid=");
        const size_t cmd = line.find("\tcmd=");
        if (pid == std::string::npos || cmd == std::string::npos) {
            continue;
        }
        out += "\n  pid " + padded(line.substr(pid + 4, line.find('\t', pid) - pid - 4), 6) + " " + line.substr(cmd + 5);
        ++count;
    }
    return out + (count == 0 ? " none\n" : "\n");
}

std::string formatMachineIni() {
    std::string out = "machine.ini (" + utf8(machineIniPath().wstring()) + "):";
    const std::optional<MachineKeys> keys = readMachineKeys();
    if (!keys) {
        return out + " not present\n";
    }
    out += keys->empty() ? " no machine keys\n" : "\n";
    for (const auto& [key, value] : *keys) {
        out += machineLine(key, value);
    }
    return out;
}

std::string formatRegistry() {
    std::string out = "InstallLocation: " + utf8(installLocation(true)) + " (64-bit view), " +
                      utf8(installLocation(false)) + " (32-bit view)\n";
    out += "RunOnce way back after a crash: " + resumeEntry().value_or("none") + "\n";
    const LoopCheckValues loop = readLoopCheck();
    if (!loop.present) {
        return out + std::string(kLoopCheckSubKey) + ": not present\n";
    }
    return out + std::string(kLoopCheckSubKey) + ": UpdateTargetVersion=" + loop.targetVersion +
           " UpdateDate=" + loop.date + " UpdateNumber=" + std::to_string(loop.updateNumber) +
           " UpdateSameResults=" + std::to_string(loop.sameResults) +
           " UpdateSuccessful=" + std::to_string(loop.successful) + "\n";
}

std::string formatErrorRecords(std::string_view value, bool context) {
    std::string out;
    for (const apps::DecodedErrorRecord& record : apps::decodeDestageErrors(value)) {
        out += "    " + apps::describeErrorRecord(record) + "\n";
        if (context) {
            out += "      " + apps::describeErrorRecordContext(record) + "\n";
        }
    }
    return out;
}

Result<std::string, std::string> formatMachineIniErrors(const std::filesystem::path& file) {
    const std::string name = utf8(file.wstring());
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        return Err{"no file " + name};
    }
    if (std::filesystem::is_directory(file, error)) {
        return Err{name + " is a folder, not a machine.ini"};
    }
    const std::optional<MachineKeys> keys = readMachineKeys(file);
    if (!keys) {
        return Err{"cannot read " + name};
    }
    const std::optional<std::string> value = machineValue(*keys, "machine.destageerrors");
    if (!value) {
        return Ok{"no machine.destageErrors in " + name + "\n"};
    }
    const size_t records = apps::decodeDestageErrors(*value).size();
    return Ok{"machine.destageErrors in " + name + ": " + recordCount(records) +
              (records == 0 ? "\n" : ", oldest first:\n") + formatErrorRecords(*value, true)};
}

std::string formatReport(const SandboxLayout& layout) {
    return formatFolders(layout) + formatServiceAndPrograms() + formatRelaunches(layout) + formatMachineIni() +
           formatRegistry() + formatRegistration(layout) + formatShortcuts(layout);
}

}  // namespace kvx::sandbox
