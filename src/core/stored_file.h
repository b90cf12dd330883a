#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

struct StoredFile {
    enum class Status {
        ok,
        absent,     // nothing at the path
        unreadable, // something is there, but not a plain file we may read whole
    };
    Status status = Status::absent;
    QByteArray contents; // only with ok
};

enum class SymlinkPolicy {
    refuse, // a path only the app writes: a link there was planted
    follow, // a path users may link elsewhere (dotfile managers); the target must be a file
};

// Reads one of the files the app keeps (settings, job history, autostart entry). What is
// at the path is not trusted: a FIFO would block a plain open(), a link to a device would
// be read for ever. So the open never blocks, only a regular file is read, and at most
// maxBytes of it: a longer one is unreadable as a whole, never silently cut short.
[[nodiscard]] StoredFile readStoredFile(const QString& path, qint64 maxBytes,
                                        SymlinkPolicy symlinks = SymlinkPolicy::refuse);

} // namespace vxr
