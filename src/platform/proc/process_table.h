#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vxr {

// One process as /proc describes it: what the orphan reaper needs to tell our own
// worker programs from anything else on the machine.
struct ProcessTableEntry {
    qint32 pid = 0;
    qint32 ppid = 0;
    qint64 uid = -1;       // real user id; -1 when status could not be read
    QStringList arguments; // cmdline split at its NUL separators; empty for kernel threads
    QString executable;    // target of the exe link; empty when it cannot be read

    // The command line as ps shows it: the arguments joined by blanks.
    [[nodiscard]] QString command() const { return arguments.join(u' '); }

    bool operator==(const ProcessTableEntry&) const = default;
};

// Splits a cmdline file's bytes at NUL; a final NUL ends the last argument rather than
// starting an empty one. Bytes that are not UTF-8 become replacement characters.
[[nodiscard]] QStringList parseCmdline(const QByteArray& bytes);

// Every process under procRoot, in ascending pid order. Processes that end while the
// table is read, or whose stat cannot be parsed, are left out. Reads files only: never
// runs a program, so nothing the environment says (COLUMNS, locale) can cut it short.
[[nodiscard]] QList<ProcessTableEntry>
readProcessTable(const QString& procRoot = QStringLiteral("/proc"));

// The chain of parents of pid, nearest first, up to and including pid 1 (or the first
// process whose parent is unknown). Bounded, so a malformed table cannot loop.
[[nodiscard]] QList<qint32> ancestorsOf(qint32 pid, const QList<ProcessTableEntry>& table);

} // namespace vxr
