#include "core/atomic_file.h"

#include <QSaveFile>

namespace vxr {

bool writeFileAtomically(const QString& path, const QByteArray& contents)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vxr
