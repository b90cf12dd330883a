#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace vxr {

// Turns a child's raw output into whole "[label] line\n" records. Lines are
// reassembled across reads, UTF-8 is decoded incrementally (a character split
// between two reads survives) and invalid bytes become U+FFFD. Empty lines are
// dropped.
class LogLineAssembler {
public:
    explicit LogLineAssembler(const QString& label);

    // Records completed by this chunk (possibly empty).
    [[nodiscard]] QByteArray feed(QByteArrayView chunk);
    // At end of output: the unterminated last line, if any.
    [[nodiscard]] QByteArray finish();

private:
    void appendLine(QByteArray& out, QStringView line) const;

    QByteArray m_prefix;
    QStringDecoder m_decoder;
    QString m_pending;
};

// Opens (creating it 0600 if needed) the process log for appending. Never follows a
// symlink at the path. Returns -1 when it cannot be opened.
[[nodiscard]] int openProcessLog(const QString& path);

} // namespace vxr
