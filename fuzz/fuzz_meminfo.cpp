#include "platform/proc/host_memory.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)vxr::parseMeminfo(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
