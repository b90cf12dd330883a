#pragma once

#include <QByteArrayView>

namespace vxr {

// Writes all of bytes to fd, going on after partial writes and interruptions. False
// when the descriptor refuses more (a full disk, a closed pipe): what was written
// stays written.
[[nodiscard]] bool writeAll(int fd, QByteArrayView bytes);

} // namespace vxr
