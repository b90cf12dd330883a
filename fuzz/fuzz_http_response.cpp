#include "worker_interface/http_response.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// The first byte sets the size of the pieces the rest arrives in, as a connection
// would split it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] + 1;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    constexpr qint64 cap = 4096;
    vxr::HttpResponse response(cap);
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        response.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
    using State = vxr::HttpResponse::State;
    const State end = response.closed();
    const bool failedClean =
        end != State::failed || (response.body().isEmpty() && !response.keepAlive());
    if (end == State::reading || response.body().size() > cap || !failedClean ||
        (end == State::complete && response.status() < 200))
        std::abort();
    return 0;
}
