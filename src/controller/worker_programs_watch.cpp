#include "controller/worker_programs_watch.h"

#include <QDir>
#include <QFileInfo>

namespace vxr {

namespace {
bool programsIn(const QString& binDir) {
    return QFileInfo(binDir + QLatin1String("/vxr-worker.sh")).isExecutable() &&
           QFileInfo(binDir + QLatin1String("/vxr-evaluator.sh")).isExecutable();
}
} // namespace

WorkerProgramsWatch::WorkerProgramsWatch(QString binDir, QObject* parent)
    : QObject(parent)
    , m_binDir(std::move(binDir))
    , m_found(programsIn(m_binDir)) {
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &WorkerProgramsWatch::recheck);
    watchNearestDirectory();
}

void WorkerProgramsWatch::recheck() {
    watchNearestDirectory();
    if (std::exchange(m_found, programsIn(m_binDir)) != m_found)
        emit foundChanged();
}

void WorkerProgramsWatch::watchNearestDirectory() {
    QString directory = QDir::cleanPath(m_binDir);
    while (!QFileInfo(directory).isDir() && directory != QLatin1String("/") && !directory.isEmpty())
        directory = QFileInfo(directory).path();
    if (m_watcher.directories() == QStringList{directory})
        return;
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    if (!directory.isEmpty())
        m_watcher.addPath(directory);
}

} // namespace vxr
