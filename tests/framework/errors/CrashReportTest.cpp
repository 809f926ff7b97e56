#include "framework/errors/CrashReport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace kvx::foundation {
namespace {

TEST(CrashReportTest, IdentifierNamesTheKindAndThePlace) {
    EXPECT_EQ(crashIdentifier({0xC0000005u, 0x7ff61a2b, "KorvDestager.exe", 0x1a2b, 1}), "05-KorvDestager.exe+1a2b");
    EXPECT_EQ(crashIdentifier({0xC00000FDu, 0xdead0, "", 0, 1}), "FD-dead0");
}

TEST(CrashReportTest, ReportCarriesEnvironmentAndLogFiles) {
    const CrashInfo crash{0xC0000005u, 0x7ff61a2b, "KorvDestager.exe", 0x1a2b, 42};
    auto report = nlohmann::json::parse(serializeCrashReport(
        crash, "05-KorvDestager.exe+1a2b", {"C:\\Korv\\KorvDestager.exe", "", "C:\\Logs\\a.log", "C:\\Logs\\b.log"}));
    EXPECT_EQ(report["identifier"], "05-KorvDestager.exe+1a2b");
    EXPECT_EQ(report["exceptionCode"], "C0000005");
    EXPECT_EQ(report["threadId"], 42);
    EXPECT_EQ(report["executable"], "C:\\Korv\\KorvDestager.exe");
    EXPECT_EQ(report["app.environment"], "production");
    EXPECT_EQ(report["logFiles"]["main"], "C:\\Logs\\a.log");
    EXPECT_EQ(report["logFiles"]["verbose"], "C:\\Logs\\b.log");

    auto qa = nlohmann::json::parse(serializeCrashReport(crash, "x", {"", "qa", "", ""}));
    EXPECT_EQ(qa["app.environment"], "qa");
}

}  // namespace
}  // namespace kvx::foundation
