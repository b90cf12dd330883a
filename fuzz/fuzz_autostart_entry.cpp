// Autostart entries as desktop settings tools leave them, and the entry the app writes
// for any executable path: it must always read as enabled and stay one line per key.
#include "platform/autostart_entry.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)vxr::autostart::entryEnabled(bytes);

    const QByteArray written = vxr::autostart::entryText(QString::fromUtf8(bytes));
    if (!vxr::autostart::entryEnabled(written) || written.count('\n') != 8)
        abort();
    return 0;
}
