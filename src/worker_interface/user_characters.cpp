#include "worker_interface/user_characters.h"

#include <QTextBoundaryFinder>

namespace vxr {

namespace {
bool isPlainAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80 || c == u'\r')
            return false;
    return true;
}
} // namespace

qsizetype characterCount(const QString& text) {
    if (isPlainAscii(text))
        return text.size();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString leftCharacters(const QString& text, qsizetype count) {
    if (isPlainAscii(text))
        return text.left(count);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            break;
        end = next;
    }
    return text.left(end);
}

} // namespace vxr
