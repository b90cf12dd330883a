#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

// Writes the whole file through a temporary in the same directory, flushed to disk,
// and renames it over the target, so a reader sees either the old or the new content
// and the new one survives a power cut. Returns false (leaving the old file untouched)
// on any failure.
[[nodiscard]] bool writeFileAtomically(const QString& path, const QByteArray& contents);

// For a small file replaced every few seconds in a temporary directory, where a sync
// would only cost disk flushes: readers see only whole versions, but after a crash of
// the machine either version may be there. The version it replaces stays beside it as "<path>.next"
// and takes the following one, then the two swap names in one step (RENAME_EXCHANGE), so no file is
// created or deleted per write; on ext4, a rename over a file or a truncation would also
// force the new data to disk at once. Where the names cannot be swapped (the first
// write, a filesystem without it), a plain rename. Nothing is followed through a link.
[[nodiscard]] bool swapFileIn(const QString& path, const QByteArray& contents);

} // namespace vxr
