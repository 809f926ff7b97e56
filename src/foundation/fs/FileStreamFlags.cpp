#include "foundation/fs/FileStreamFlags.h"

#include "foundation/Assert.h"

namespace kvx::fs::detail {

using foundation::AssertLevel;

DWORD translateAccess(FileAccess access) {
    switch (access) {
        case FileAccess::None:
            return 0;
        case FileAccess::Read:
            return GENERIC_READ;
        case FileAccess::Write:
            return GENERIC_WRITE;
        case FileAccess::ReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
    }
    KVX_ASSERT_ALWAYS(AssertLevel::Error, "FS to KorvIO access map not found for {}",
                      static_cast<uint32_t>(access));
    return GENERIC_READ | GENERIC_WRITE;
}

DWORD translateDisposition(CreateDisposition disposition, DWORD desiredAccess) {
    switch (disposition) {
        case CreateDisposition::CreateNew:
            return CREATE_NEW;
        case CreateDisposition::CreateAlways:
            return CREATE_ALWAYS;
        case CreateDisposition::OpenExisting:
            return OPEN_EXISTING;
        case CreateDisposition::OpenAlways:
            return OPEN_ALWAYS;
        case CreateDisposition::TruncateExisting:
            return TRUNCATE_EXISTING;
        case CreateDisposition::Default:
            break;
        default:
            KVX_ASSERT_ALWAYS(AssertLevel::Error, "FS to KorvIO cd map not found for {}",
                              static_cast<uint32_t>(disposition));
            break;
    }
    return (desiredAccess & GENERIC_WRITE) != 0 ? OPEN_ALWAYS : OPEN_EXISTING;
}

DWORD translateShare(uint32_t shareFlags) {
    DWORD mode = 0;
    if ((shareFlags & (ShareRead | ShareWrite)) != 0) {
        mode |= FILE_SHARE_READ;
    }
    if ((shareFlags & ShareWrite) != 0) {
        mode |= FILE_SHARE_WRITE;
    }
    if ((shareFlags & ShareDelete) != 0) {
        mode |= FILE_SHARE_DELETE;
    }
    return mode;
}

DWORD translateSeekBase(SeekBase base) {
    switch (base) {
        case SeekBase::Begin:
            return FILE_BEGIN;
        case SeekBase::Current:
            return FILE_CURRENT;
        case SeekBase::End:
            return FILE_END;
    }
    KVX_ASSERT_ALWAYS(AssertLevel::Error, "FS to KorvIO position map not found for {}",
                      static_cast<uint32_t>(base));
    return FILE_BEGIN;
}

OpenFlags translateOpen(FileAccess access, CreateDisposition disposition, uint32_t shareFlags) {
    const DWORD desiredAccess = translateAccess(access);
    return {desiredAccess, translateDisposition(disposition, desiredAccess), translateShare(shareFlags)};
}

}  // namespace kvx::fs::detail
