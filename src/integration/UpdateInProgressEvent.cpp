#include "integration/UpdateInProgressEvent.h"

#include <sddl.h>
#include <windows.h>

#include <memory>

namespace kvx::apps::suite {

namespace {

constexpr DWORD kSddlRevision1 = SDDL_REVISION_1;

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalSecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

LocalSecurityDescriptor updateEventSecurityDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kUpdateInProgressEventSddl, kSddlRevision1,
                                                              &descriptor, nullptr)) {
        return nullptr;
    }
    return LocalSecurityDescriptor(descriptor);
}

}  // namespace

bool isUpdateInProgress() {
    const WinUtils::AutoHandle event(OpenEventW(SYNCHRONIZE, FALSE, kUpdateInProgressEventName));
    return event.isValid();
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
