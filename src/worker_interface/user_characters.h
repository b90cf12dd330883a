#pragma once

#include <QString>

namespace vxr {

// Counting and cutting text by user-perceived characters (grapheme clusters), so a
// cut never splits an emoji or an accented letter.
[[nodiscard]] qsizetype characterCount(const QString& text);
[[nodiscard]] QString leftCharacters(const QString& text, qsizetype count);

} // namespace vxr
