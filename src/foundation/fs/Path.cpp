#include "foundation/fs/Path.h"

#include "foundation/TextConversion.h"

namespace kvx::fs {

Path Path::fromUtf8(std::string_view utf8) {
    return Path(foundation::widen(utf8, KVX_SOURCE_LOCATION));
}

std::string Path::utf8() const {
    return foundation::narrow(wide(), KVX_SOURCE_LOCATION);
}

}  // namespace kvx::fs
