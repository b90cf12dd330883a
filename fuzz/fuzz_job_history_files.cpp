// job-history.json and job-history-dismissed.json as read back at start. What
// decodes must encode and decode again to the same value.
#include "jobs/job_history_json.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto jobs = vxr::decodeJobHistory(bytes)) {
        const auto again = vxr::decodeJobHistory(vxr::encodeJobHistory(*jobs));
        if (!again || again->size() != jobs->size())
            abort();
    }
    if (const auto dismissed = vxr::decodeDismissed(bytes)) {
        const auto again = vxr::decodeDismissed(vxr::encodeDismissed(*dismissed));
        if (!again || *again != *dismissed)
            abort();
    }
    (void)vxr::parseInternetDate(QString::fromUtf8(bytes));
    return 0;
}
