#include "process/Process.h"

#include <array>

#include "foundation/Assert.h"
#include "foundation/Logging.h"
#include "foundation/TextConversion.h"
#include "foundation/fs/IFilesystem.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::services::process {

namespace {

constexpr std::array<const char*, 4> kStateNames{"Stopped", "Suspended", "Running", "Error"};
constexpr std::array<const char*, 14> kErrorNames{"None",
                                                  "ExecutableInvalid",
                                                  "ExecutableNotPresent",
                                                  "CommandLineInvalid",
                                                  "CommandLineExceedsMaxLength",
                                                  "WorkingDirInvalid",
                                                  "WorkingDirNotPresent",
                                                  "ErrorCreatingProcess",
                                                  "ErrorResumingProcess",
                                                  "ErrorTerminatingProcess",
                                                  "ErrorCanceled",
                                                  "ErrorLockingBinary",
                                                  "ErrorCheckingSignature",
                                                  "ErrorCreatingPipe"};

template <size_t N>
const char* lookupName(const std::array<const char*, N>& names, uint32_t value) {
    if (value < N) {
        return names[value];
    }
    KVX_ASSERT_ALWAYS(foundation::AssertLevel::Error, "invalid name lookup value: {}", value);
    return "unknown";
}

bool isValidText(const std::string& text) {
    return text.empty() || foundation::multiByteToWide(text.data(), static_cast<uint32_t>(text.size()),
                                                       foundation::kCodePageUtf8, false)
                               .isOk();
}

constexpr const char* kValidateStep = "Validate Process Info";

// The limit is Windows' own, on the UTF-16 command line: a lead byte starts one UTF-16 unit, a
// four-byte sequence two (a surrogate pair).
size_t utf16Length(std::string_view text) {
    size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : (byte >= 0xF0 ? 2 : 1);
    }
    return units;
}

}  // namespace

std::string toString(const ProcessInfo& info) {
    return fmt::format(
        "exe=[{}], args=[{}], dir=[{}], breakaway=[{}], inheritEnv=[{}], uac=[{}] ut=[{}] capture=[{}]",
        info.exe, info.args, info.dir, info.breakaway, info.inheritEnv, info.uac, info.userToken != nullptr,
        info.capture);
}

const char* stateName(Process::State state) {
    return lookupName(kStateNames, static_cast<uint32_t>(state));
}
const char* errorName(Process::Error error) {
    return lookupName(kErrorNames, static_cast<uint32_t>(error));
}

void recordProcessEvent(const char* taxonomy, std::string_view step, std::optional<uint32_t> code) {
    foundation::TelemetryEvent event(taxonomy);
    event.setParam("step", std::string(step));
    if (std::string_view(taxonomy) != "prcs.create.succ") {
        event.setParam("code", code ? fmt::format("0x{:x}", *code) : std::string("none"));
    }
    foundation::recordTelemetryEvent(event);
}

Process::Error Process::Impl::validateProcessInfo(const ProcessInfo& info) {
    const auto fail = [this](Error error, const std::string& message) {
        mState = State::Error;
        KVX_LOG_ERROR("[{}] {}", kValidateStep, message);
        recordProcessEvent("prcs.create.erro", kValidateStep, std::nullopt);
        return error;
    };
    if (utf16Length(info.args) > kMaxArgumentsLength) {
        return fail(Error::CommandLineExceedsMaxLength,
                    fmt::format("Command line arguments length cannot exceed [{}] characters. args=[{}]",
                                kMaxArgumentsLength, info.args));
    }
    if (!isValidText(info.args)) {
        return fail(Error::CommandLineInvalid,
                    fmt::format("Command line parameter contains invalid characters. [{}]", info.args));
    }
    if (info.exe.empty()) {
        return fail(Error::ExecutableInvalid, "Executable parameter cannot be empty.");
    }
    if (!isValidText(info.exe)) {
        return fail(Error::ExecutableInvalid, "Executable parameter contains invalid characters.");
    }
    if (!isValidText(info.dir)) {
        return fail(Error::WorkingDirInvalid,
                    fmt::format("Working directory parameter contains invalid characters. [{}]", info.dir));
    }
    if (!info.dir.empty() && !fs::filesystem().isDirectory(fs::Path::fromUtf8(info.dir))) {
        return fail(Error::WorkingDirNotPresent,
                    fmt::format("Working directory does not exist [{}].", info.dir));
    }
    return Error::None;
}

}  // namespace kvx::services::process
