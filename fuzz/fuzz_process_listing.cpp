// "/bin/ps -axo pid=,ppid=,command=" output as the orphan reaper reads it.
#include "controller/orphan_reaper.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto listing = vxr::parseProcessListing(text);
    const auto orphans = vxr::orphanedWorkerCandidates(listing);
    if (orphans.size() > listing.size())
        abort();
    for (const auto& entry : listing)
        (void)vxr::leadingCharacters(entry.command, 60);
    return 0;
}
