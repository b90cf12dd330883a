// The settings file as the store decodes it.
#include "platform/settings_store.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto map = vxr::SettingsStore::decode(bytes)) {
        if (!vxr::SettingsStore::decode(vxr::SettingsStore::encode(*map)))
            abort();
    }
    return 0;
}
