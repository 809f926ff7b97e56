#include "integration/UpdateInProgressEvent.h"

#include <sddl.h>
#include <windows.h>

#include "foundation/win/SystemMemory.h"

namespace kvx::apps::suite {

namespace {

constexpr DWORD kSddlRevision1 = SDDL_REVISION_1;

using LocalSecurityDescriptor = WinUtils::UniqueLocalMemory<PSECURITY_DESCRIPTOR>;

LocalSecurityDescriptor updateEventSecurityDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kUpdateInProgressEventSddl, kSddlRevision1,
                                                              &descriptor, nullptr)) {
        return {};
    }
    return LocalSecurityDescriptor(descriptor);
}

}  // namespace

bool isUpdateInProgress() {
    const WinUtils::AutoHandle event(OpenEventW(SYNCHRONIZE, FALSE, kUpdateInProgressEventName));
    return event.valid();
}

void createUpdateInProgressEvent(WinUtils::AutoHandle& event) {
    const LocalSecurityDescriptor descriptor = updateEventSecurityDescriptor();
    if (!descriptor) {
        return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    event.reset(CreateEventW(&attributes, TRUE, TRUE, kUpdateInProgressEventName));
}

}  // namespace kvx::apps::suite
