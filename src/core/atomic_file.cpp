#include "core/atomic_file.h"

#include <QSaveFile>

namespace vxr {

bool writeFileAtomically(const QString& path, const QByteArray& contents) {
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile flushes at commit() and does not notice a
    // short write there (full disk, file size limit), so it would rename a
    // truncated file over the good one. Unbuffered, the short write shows here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vxr
