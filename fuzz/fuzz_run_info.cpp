#include "core/envelope.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)vxr::parseEnvelope(body, vxr::EnvelopeSemicolon::dropOne);
    (void)vxr::parseRunInfo(body);
    return 0;
}
