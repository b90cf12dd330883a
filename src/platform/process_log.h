#pragma once

#include <QByteArray>
#include <QString>

namespace vxr {

// Turns a child's raw output into whole "[label] line\n" records. Lines are
// reassembled across reads and decoded only once complete, so a character split
// between two reads survives; invalid bytes become U+FFFD. Empty lines are dropped.
// A line longer than kMaxLineBytes is cut there so a child can't grow us unbounded.
class LogLineAssembler {
public:
    explicit LogLineAssembler(const QString& label);

    // Records completed by this chunk (possibly empty).
    [[nodiscard]] QByteArray feed(QByteArrayView chunk);
    // At end of output: the unterminated last line, if any.
    [[nodiscard]] QByteArray finish();

    static constexpr qsizetype kMaxLineBytes = 1 << 20;

private:
    void appendLine(QByteArray& out, QByteArrayView rawLine) const;

    QByteArray m_prefix;
    QByteArray m_pending;
};

// Opens (creating it 0600 if needed) the process log for appending. Never follows a
// symlink at the path. Returns -1 when it cannot be opened.
[[nodiscard]] int openProcessLog(const QString& path);

} // namespace vxr
