// libFuzzer entry for the configuration-file parser: developer .cfg files are edited by hand, so
// any bytes must parse without a crash, and whatever they hold must land in the store lower-cased.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzInvariants.h"
#include "framework/config/KVPs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvx::KVPs pairs;
    pairs.addFromTomlString(std::string_view(reinterpret_cast<const char*>(data), size));
    kvx::fuzz::checkBulkSetLowersKeys(pairs);
    return 0;
}
