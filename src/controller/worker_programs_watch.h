#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

namespace vxr {

// Whether the worker programs are installed in binDir, watched so that an install made
// while the app runs is noticed: the directory when it exists, else its nearest
// existing parent.
class WorkerProgramsWatch : public QObject {
    Q_OBJECT

public:
    explicit WorkerProgramsWatch(QString binDir, QObject* parent = nullptr);

    [[nodiscard]] bool found() const { return m_found; }
    // Looks again (also done on every change in the watched directory).
    void recheck();

signals:
    void foundChanged();

private:
    void watchNearestDirectory();

    QString m_binDir;
    QFileSystemWatcher m_watcher;
    bool m_found = false;
};

} // namespace vxr
