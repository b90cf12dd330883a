#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

enum class Durability {
    // Flushed to disk before the rename: the new content survives a power cut.
    synced,
    // Only the rename: readers never see a partial file, but after a crash of the
    // machine either content may be there. For files rewritten every few seconds
    // in a temporary directory, where a sync would only cost disk flushes.
    renameOnly,
};

// Writes the whole file through a temporary in the same directory and renames it
// over the target, so a reader sees either the old or the new content. Returns
// false (leaving the old file untouched) on any failure.
[[nodiscard]] bool writeFileAtomically(const QString& path, const QByteArray& contents,
                                       Durability durability = Durability::synced);

} // namespace vxr
