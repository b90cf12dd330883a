#include "platform/proc/process_table.h"

#include "platform/proc/proc_files.h"
#include "platform/proc/process_tree.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace vxr {

namespace {

std::string entryPath(const std::string& root, qint64 pid, const char* leaf) {
    return root + '/' + std::to_string(pid) + leaf;
}

// The real user id: the first number of the "Uid:" line.
qint64 realUid(std::string_view status) {
    const size_t key = status.find("\nUid:");
    if (key == std::string_view::npos)
        return -1;
    const auto value = proc::leadingNumber(status.substr(key + 5));
    return value ? qint64(*value) : -1;
}

} // namespace

QStringList parseCmdline(const QByteArray& bytes) {
    QStringList arguments;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\0', start);
        if (end < 0)
            end = bytes.size();
        arguments.append(QString::fromUtf8(bytes.constData() + start, end - start));
        start = end + 1;
    }
    return arguments;
}

QList<ProcessTableEntry> readProcessTable(const QString& procRoot) {
    const std::string root = procRoot.toStdString();
    QList<ProcessTableEntry> table;
    proc::forEachNumberedEntry(root, [&](std::int64_t pid, std::uint64_t) {
        if (pid > 0x7fffffff)
            return;
        const auto statText = proc::readFile(entryPath(root, pid, "/stat"));
        const auto stat = statText ? parseProcStat(*statText) : std::nullopt;
        if (!stat)
            return; // gone meanwhile
        ProcessTableEntry entry;
        entry.pid = qint32(pid);
        entry.ppid = stat->ppid;
        if (const auto status = proc::readFile(entryPath(root, pid, "/status")))
            entry.uid = realUid(*status);
        if (const auto cmdline = proc::readFile(entryPath(root, pid, "/cmdline")))
            entry.arguments = parseCmdline(QByteArray::fromStdString(*cmdline));
        entry.executable =
            QFile::symLinkTarget(QString::fromStdString(entryPath(root, pid, "/exe")));
        table.append(std::move(entry));
    });
    std::sort(table.begin(), table.end(),
              [](const ProcessTableEntry& a, const ProcessTableEntry& b) { return a.pid < b.pid; });
    return table;
}

QList<qint32> ancestorsOf(qint32 pid, const QList<ProcessTableEntry>& table) {
    QHash<qint32, qint32> parents;
    parents.reserve(table.size());
    for (const ProcessTableEntry& entry : table)
        parents.insert(entry.pid, entry.ppid);
    QList<qint32> chain;
    qint32 current = pid;
    while (chain.size() < table.size() + 1) {
        const auto it = parents.constFind(current);
        if (it == parents.cend() || *it <= 0)
            break;
        chain.append(*it);
        if (*it == 1)
            break;
        current = *it;
    }
    return chain;
}

} // namespace vxr
