#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

// Writes the whole file through a temporary in the same directory and renames it
// over the target, so a reader sees either the old or the new content. Returns
// false (leaving the old file untouched) on any failure.
[[nodiscard]] bool writeFileAtomically(const QString& path, const QByteArray& contents);

} // namespace vxr
