// The install manifest decides what the uninstaller moves to the Trash: whatever the
// file holds, an accepted manifest names only paths inside the prefix, and the app.
#include "uninstaller/install_manifest.h"

#include <QDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QStringList> files = vxr::parseInstallManifest(text);
    if (!files)
        return 0;
    if (!files->contains(QStringLiteral("bin/VXRWorker")))
        abort();
    for (const QString& file : *files) {
        if (file.isEmpty() || QDir::isAbsolutePath(file) || file == QLatin1String("..") ||
            file.startsWith(QLatin1String("../")) || QDir::cleanPath(file) != file)
            abort();
    }
    return 0;
}
