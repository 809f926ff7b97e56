#include "foundation/update/DestageContext.h"

#include <fmt/format.h>

#include "foundation/fs/PathRules.h"
#include "foundation/update/DestagerOptions.h"

namespace kvx::apps {

DestageContext buildDestageContext(const fs::Path& installLocation, const fs::Path& executablePath,
                                   int64_t now100ns, const std::vector<std::string>& arguments) {
    DestageContext context;
    context.installRoot = installLocation;
    context.clientPath = installLocation / kClientFolderName;
    context.clientExePath = clientExePathIn(installLocation);
    context.outdatedClientPath =
        installLocation / fs::Path::fromUtf8(fmt::format("outdatedKorvDesktop-{}", now100ns));
    const fs::Path stagedFolder = executablePath.parent().parent();
    context.stagedClientPath = stagedFolder / kClientFolderName;
    context.stagedFolderName = stagedFolder.filename().utf8();
    context.zipPath = stagedFolder.parent() / fs::Path::fromUtf8(context.stagedFolderName + ".zip");
    context.stagedLinkTarget = fs::Path::fromUtf8(context.stagedFolderName) / kClientFolderName;
    context.backgroundServiceExePath = context.clientPath / L"KorvBackgroundService.exe";
    context.resumeCommand = destager::commandLineOf(executablePath.utf8(), arguments);
    return context;
}

fs::Path clientExePathIn(const fs::Path& installLocation) {
    return installLocation / kClientFolderName / L"KorvDesktop.exe";
}

bool isPlainModeStagedFolder(const std::string& stagedFolderName) {
    return fs::equalsFoldingAsciiCase(stagedFolderName, kPlainStagedFolderName);
}

}  // namespace kvx::apps
