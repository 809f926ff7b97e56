#include "RegistrationReport.h"

#include "InstallerRegistry.h"
#include "SandboxRegistry.h"
#include "SandboxService.h"
#include "UpdateEventHolder.h"
#include "integration/AppKey.h"
#include "integration/RegistrationTexts.h"
#include "integration/UninstallEntries.h"

namespace kvx::sandbox {

namespace {

using foundation::RegistryKey;

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string registrationLine(const std::string& name, const std::string& value) {
    std::string line = "  " + name;
    line.append(name.size() < kRegistrationNameWidth ? kRegistrationNameWidth - name.size() : 1, ' ');
    return line + value + "\n";
}

// "(absent)" for a missing key or value, "(blank)" for an empty string.
std::string stringValue(HKEY root, const std::string& path, const char* name, bool view64) {
    const RegistryKey key(root, path, view64, false);
    if (!key.isValid() || !key.valueExists(name)) {
        return "(absent)";
    }
    const std::string value = key.get<std::string>(name);
    return value.empty() ? "(blank)" : value;
}

std::string flagText(int64_t flag) {
    return flag < 0 ? "(absent)" : std::to_string(flag);
}

std::string uninstallEntry(const char* keyName) {
    return std::string(apps::suite::kUninstallPath) + "\\" + keyName;
}

}  // namespace

std::string abbreviated(std::string value, const SandboxLayout& layout) {
    replaceAll(value, utf8(layout.clientPath.wstring()), "<client>");
    replaceAll(value, utf8(layout.installRoot.wstring()), "<install>");
    replaceAll(value, R"( "%2" "%3" "%4" "%5" "%6" "%7" "%8" "%9")", R"( ... "%9")");
    return value;
}

std::string formatRegistration(const SandboxLayout& layout) {
    std::string out = "registration (<client> = " + utf8(layout.clientPath.wstring()) + "):\n";
    const auto line = [&](const std::string& name, const std::string& value) {
        out += registrationLine(name, abbreviated(value, layout));
    };
    line("IsUnavailable (64-bit, 32-bit)",
         flagText(isUnavailableFlag(true)) + ", " + flagText(isUnavailableFlag(false)));
    line("BundleProviderKey", stringValue(HKEY_LOCAL_MACHINE, apps::kAppKeyPath, "BundleProviderKey", true));
    for (const apps::suite::ProtocolRow& row : apps::suite::protocolTable()) {
        line(std::string(row.protocol) + " command",
             stringValue(HKEY_CLASSES_ROOT, apps::suite::protocolCommandKey(row.protocol), "", true));
    }
    for (const char* legacy : {"pellam", "pellam2"}) {
        line(std::string(legacy) + " command",
             stringValue(HKEY_CLASSES_ROOT, apps::suite::protocolCommandKey(legacy), "", true));
    }
    for (const char* name : {"UninstallString", "QuietUninstallString", "DisplayVersion"}) {
        line(std::string("bundle entry ") + name,
             stringValue(HKEY_LOCAL_MACHINE, uninstallEntry(kBundleId), name, false));
    }
    line("product entry DisplayVersion",
         stringValue(HKEY_LOCAL_MACHINE, uninstallEntry(apps::suite::kProductId), "DisplayVersion", true));
    line("saved OriginalUninstallString",
         stringValue(HKEY_LOCAL_MACHINE, apps::kAppKeyPath, "OriginalUninstallString", true));
    const ServiceInfo service = queryService();
    line("service start type", service.installed ? startTypeText(service.startType) : "(not installed)");
    line("service image path", service.installed ? utf8(service.imagePath) : "(not installed)");
    line("service description",
         service.installed && !service.description.empty() ? utf8(service.description) : "(none)");
    line("update-in-progress event", updateEventHeld() ? "held (a destager runs)" : "(none)");
    return out;
}

}  // namespace kvx::sandbox
