#pragma once

#include <QString>

namespace vxr {

// The per-user private temporary directory "<base>/vxr-worker-<uid>/": created 0700
// and accepted only when it is a real directory owned by us with no group or other
// access. A planted symlink or a foreign directory is never used; a fresh mkdtemp
// directory serves this run instead. The returned path ends with "/".
[[nodiscard]] QString privateTempDirectory(const QString& base);

// Same, with base = $TMPDIR or /tmp. An empty or relative base means /tmp.
[[nodiscard]] QString privateTempDirectory();

} // namespace vxr
