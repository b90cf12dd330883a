#include "core/task_info.h"

namespace vxr {

namespace {
// Surrogates move above U+E000..U+FFFF, so code units compare as code points do.
char16_t codePointRank(char16_t unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return unit + 0x2000;
    if (unit >= 0xE000)
        return unit - 0x800;
    return unit;
}
} // namespace

bool codePointLess(const QString& a, const QString& b) {
    const qsizetype common = std::min(a.size(), b.size());
    const char16_t* x = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* y = reinterpret_cast<const char16_t*>(b.constData());
    for (qsizetype i = 0; i < common; ++i) {
        if (x[i] != y[i])
            return codePointRank(x[i]) < codePointRank(y[i]);
    }
    return a.size() < b.size();
}

} // namespace vxr
