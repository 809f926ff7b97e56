// The suite's uninstall entries against the test prefix's real registry: the bundle entry in the
// 32-bit view of the Uninstall key, the fixed product entry in the 64-bit view.
#include "integration/UninstallEntries.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <utility>
#include <vector>

#include "foundation/fs/Path.h"
#include "integration/AppDirectories.h"
#include "integration/AppKey.h"
#include "kvx/BuildVersion.h"
#include "support/Capture.h"

namespace kvx::apps::suite {
namespace {

using foundation::RegistryKey;

constexpr const char* kSavedValues[] = {"BundleProviderKey", "OriginalUninstallString",
                                        "OriginalQuietUninstallString", "OriginalUninstallPath"};
constexpr const char* kInstallerCommand =
    "\"C:\\ProgramData\\Package Cache\\KorvSetup.exe\" /uninstall /burn";

RegistryKey uninstallKey(bool view64) {
    return RegistryKey(HKEY_LOCAL_MACHINE, kUninstallPath, view64, true);
}
RegistryKey entry(const std::string& name, bool view64 = false) {
    return RegistryKey(HKEY_LOCAL_MACHINE, fmt::format("{}\\{}", kUninstallPath, name), view64, false);
}

class UninstallEntries : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    void clean() {
        for (const bool view64 : {true, false}) {
            for (const char* name : kSavedValues) {
                openAppKey(true, view64).deleteValue(name);
            }
            for (const std::string& name : {mBundle, mOther, std::string(kProductId)}) {
                uninstallKey(view64).deleteTree(name);
            }
        }
        mLogger->clear();
    }
    void addEntry(const std::string& name, const char* displayName, bool view64 = false) {
        RegistryKey key = uninstallKey(view64).createSubKey(name, view64);
        key.set("DisplayName", displayName);
        key.set("UninstallString", kInstallerCommand);
        key.set("QuietUninstallString",
                "\"C:\\ProgramData\\Package Cache\\KorvSetup.exe\" /uninstall /quiet /burn");
    }
    std::vector<std::pair<UninstallEntryError, std::string>> writeEntries() {
        std::vector<std::pair<UninstallEntryError, std::string>> errors;
        updateUninstallEntries(
            [&](UninstallEntryError error, const std::string& text) { errors.emplace_back(error, text); });
        return errors;
    }

    // The names sort after anything Wine registers, so the enumeration order is theirs.
    const std::string mBundle = fmt::format("{{zz-KvxTestBundle-{}}}", GetCurrentProcessId());
    const std::string mOther = fmt::format("{{zz-KvxTestOther-{}}}", GetCurrentProcessId());
    test::ScopedCapturingLogger mLogger;
};

TEST_F(UninstallEntries, BundleIdIsSearchedWhenTheRememberedOneIsWrong) {
    addEntry(mOther, "korv app");  // other letter case: not the suite
    addEntry(mBundle, "Korv app");
    openAppKey(true, true).set("BundleProviderKey", std::string_view(mOther));

    EXPECT_EQ(getInstalledBundleId(), mBundle);

    EXPECT_EQ(mLogger->linesContaining(fmt::format("Incorrect BundleProviderKey found [{}]", mOther)).size(),
              1u);
    for (const bool view64 : {true, false}) {
        EXPECT_EQ(openAppKey(false, view64).get<std::string>("BundleProviderKey"), mBundle);
    }
}

TEST_F(UninstallEntries, UninstallCommandsPointAtTheSuiteUninstallerAndTheInstallerOnesAreKept) {
    addEntry(mBundle, "Korv Desktop");
    const std::string uninstaller =
        (fs::Path::fromUtf8(utils::getUninstallDirectory()) / fs::Path(L"KorvUninstall.exe")).utf8();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        updateUninstallStrings();
        const RegistryKey appKey = openAppKey(false, true);
        EXPECT_EQ(appKey.get<std::string>("OriginalUninstallString"), kInstallerCommand);
        EXPECT_EQ(appKey.get<std::string>("OriginalQuietUninstallString"),
                  "\"C:\\ProgramData\\Package Cache\\KorvSetup.exe\" /uninstall /quiet /burn");
        EXPECT_EQ(appKey.get<std::string>("OriginalUninstallPath"),
                  "C:\\ProgramData\\Package Cache\\KorvSetup.exe");
        EXPECT_EQ(entry(mBundle).get<std::string>("UninstallString"), "\"" + uninstaller + "\" /uninstall");
        EXPECT_EQ(entry(mBundle).get<std::string>("QuietUninstallString"),
                  "\"" + uninstaller + "\" /uninstall /quiet");
    }
}

TEST_F(UninstallEntries, EntriesGetTheNameAndVersionOrReportWhatIsMissing) {
    const struct {
        const char* name;
        bool bundle;
        bool product;
        std::vector<std::pair<UninstallEntryError, std::string>> errors;
    } rows[] = {
        {"both entries", true, true, {}},
        {"no bundle", false, true, {{UninstallEntryError::KeyNotFound, "The app guid is empty"}}},
        {"no product entry",
         true,
         false,
         {{UninstallEntryError::RegistryPerms,
           fmt::format("Couldn't open the key {}\\{} for updating", kUninstallPath, kProductId)}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clean();
        if (row.bundle) {
            addEntry(mBundle, "Pellam Beta");
        }
        if (row.product) {
            addEntry(kProductId, "Korv Desktop", true);
        }
        EXPECT_EQ(writeEntries(), row.errors);
        if (row.bundle) {
            EXPECT_EQ(entry(mBundle).get<std::string>("DisplayName"), "Korv app");
            EXPECT_EQ(entry(mBundle).get<std::string>("BundleVersion"), kBuildVersion);
        }
        EXPECT_EQ(entry(kProductId, true).isValid(), row.product) << "never created";
        if (row.product) {
            EXPECT_EQ(entry(kProductId, true).get<std::string>("DisplayVersion"), kBuildVersion);
            EXPECT_EQ(entry(kProductId, true).get<uint32_t>("VersionMinor"), kBuildVersionMinor);
            EXPECT_FALSE(entry(kProductId, true).valueExists("BundleVersion"));
        }
    }
}

}  // namespace
}  // namespace kvx::apps::suite
