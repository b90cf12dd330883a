#pragma once

#include "platform/proc/host_memory.h"
#include "platform/proc/proc_files.h"

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vxr {

// What one process of the worker tree costs: resident size, CPU time used so far, the
// memory it would take from other applications (anonymous + shared + swapped), and the
// part of that in RAM (anonymous + shared), which is what the machine's "used" counts.
struct ProcessUsage {
    quint64 rssBytes = 0;
    quint64 cpuTimeNS = 0;
    quint64 footprintBytes = 0;
    quint64 footprintInRamBytes = 0;

    bool operator==(const ProcessUsage&) const = default;
};

using ProcessTreeSnapshot = QHash<qint32, ProcessUsage>;

// The fields of /proc/<pid>/stat the probes use.
struct ProcStat {
    char state = '?';
    qint32 ppid = 0;
    quint64 cpuTicks = 0; // utime + stime, in clock ticks

    bool operator==(const ProcStat&) const = default;
};

// Parses a stat line. The command name may hold spaces and parentheses, so the fields
// are taken after the last ')'. nullopt when the line is cut short or malformed.
[[nodiscard]] std::optional<ProcStat> parseProcStat(std::string_view text);

// Combines a parsed stat with the text of /proc/<pid>/status. Lines the kernel leaves
// out (kernel threads and zombies have no VmRSS) count as 0.
[[nodiscard]] ProcessUsage processUsage(const ProcStat& stat, std::string_view statusText,
                                        long ticksPerSecond);

enum class TreeWalk {
    automatic,     // children links when the kernel offers them, else the table scan
    childrenLinks, // /proc/<pid>/task/<tid>/children only
    tableScan,     // one listing of /proc with parent ids
};

// Measures the process trees under given roots from a /proc tree (the real one or a
// fixture). Safe to call from several threads at once. On the real /proc the files of
// the processes measured stay open from one snapshot to the next, and those of
// processes a snapshot no longer reaches are closed at its end.
class ProcessTreeProbe {
public:
    explicit ProcessTreeProbe(const QString& procRoot = QStringLiteral("/proc"));
    ProcessTreeProbe(const ProcessTreeProbe&) = delete;
    ProcessTreeProbe& operator=(const ProcessTreeProbe&) = delete;

    // Every live process under the roots, each measured once; a root that is gone
    // contributes nothing itself but its listed children are still walked. Processes
    // that vanish or cannot be read mid-walk are left out. Empty roots read nothing.
    [[nodiscard]] ProcessTreeSnapshot snapshot(const QList<qint32>& rootPIDs,
                                               TreeWalk walk = TreeWalk::automatic);

    // The machine's memory, from the same /proc tree.
    [[nodiscard]] std::optional<HostMemory> hostMemory();

    [[nodiscard]] QString procRoot() const { return QString::fromStdString(m_root); }
    // How many /proc files are open between snapshots.
    [[nodiscard]] size_t heldFileCount() { return m_files.heldCount(); }

private:
    struct TableEntry {
        std::uint64_t inode = 0;
        qint32 ppid = 0;
        std::uint64_t parentInode = 0;
    };
    enum class Support { unknown, yes, no };

    ProcessTreeSnapshot walk(const QList<qint32>& rootPIDs, TreeWalk walk);
    // nullopt when the kernel turns out to have no children links.
    std::optional<ProcessTreeSnapshot> walkChildrenLinks(const QList<qint32>& roots);
    ProcessTreeSnapshot walkTable(const QList<qint32>& roots);
    // threadsOut: the "Threads:" count of status, 0 when unknown.
    std::optional<ProcessUsage> measure(qint32 pid, int* threadsOut = nullptr);

    std::string m_root;
    long m_ticksPerSecond;
    proc::HeldFiles m_files;
    std::mutex m_mutex;
    Support m_childrenSupport = Support::unknown;
    // Parent ids from the previous table scans. A parent id only changes when the parent
    // dies, and a /proc entry's inode changes when its pid is reused, so an entry stays
    // good while both the process and its parent keep their inodes.
    QHash<qint32, TableEntry> m_table;
};

// One-off snapshot without a cached table (tests, tools).
[[nodiscard]] ProcessTreeSnapshot
processTreeSnapshot(const QList<qint32>& rootPIDs,
                    const QString& procRoot = QStringLiteral("/proc"));

} // namespace vxr
