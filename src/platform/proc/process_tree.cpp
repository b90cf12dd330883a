#include "platform/proc/process_tree.h"

#include "platform/proc/proc_files.h"

#include <QSet>

#include <algorithm>

#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vxr {

namespace {

// Splits the text after the comm field into blank-separated fields.
std::optional<std::string_view> fieldAfter(std::string_view fields, int index) {
    size_t pos = 0;
    for (int i = 0;; ++i) {
        while (pos < fields.size() && fields[pos] == ' ')
            ++pos;
        if (pos >= fields.size())
            return std::nullopt;
        size_t end = fields.find(' ', pos);
        if (end == std::string_view::npos)
            end = fields.size();
        if (i == index)
            return fields.substr(pos, end - pos);
        pos = end;
    }
}

quint64 ticksToNS(quint64 ticks, long ticksPerSecond) {
    constexpr quint64 second = 1'000'000'000;
    const auto perSecond = static_cast<quint64>(ticksPerSecond > 0 ? ticksPerSecond : 100);
    if (second % perSecond == 0)
        return ticks * (second / perSecond);
    return ticks / perSecond * second + ticks % perSecond * second / perSecond;
}

std::string pidPath(const std::string& root, qint64 pid, const char* leaf) {
    std::string path = root;
    path += '/';
    path += std::to_string(pid);
    path += leaf;
    return path;
}

bool isProcFileSystem(const std::string& path) {
    struct statfs info {};
    return ::statfs(path.c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

} // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
    const size_t close = text.rfind(')');
    if (close == std::string_view::npos || text.find('(') == std::string_view::npos)
        return std::nullopt;
    std::string_view fields = text.substr(close + 1);
    if (const size_t newline = fields.find('\n'); newline != std::string_view::npos)
        fields = fields.substr(0, newline);
    // After the comm: state (3), ppid (4), ..., utime (14), stime (15).
    const auto state = fieldAfter(fields, 0);
    const auto ppid = fieldAfter(fields, 1);
    const auto utime = fieldAfter(fields, 11);
    const auto stime = fieldAfter(fields, 12);
    if (!state || state->size() != 1 || !ppid || !utime || !stime)
        return std::nullopt;
    const auto ppidValue = proc::leadingNumber(*ppid);
    const auto utimeValue = proc::leadingNumber(*utime);
    const auto stimeValue = proc::leadingNumber(*stime);
    if (!ppidValue || *ppidValue > 0x7fffffff || !utimeValue || !stimeValue ||
        ppid->find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return ProcStat{(*state)[0], static_cast<qint32>(*ppidValue), *utimeValue + *stimeValue};
}

ProcessUsage processUsage(const ProcStat& stat, std::string_view statusText, long ticksPerSecond) {
    const auto bytes = [&](std::string_view key) {
        return proc::keyedBytes(statusText, key).value_or(0);
    };
    const quint64 inRam = bytes("RssAnon") + bytes("RssShmem");
    return ProcessUsage{bytes("VmRSS"), ticksToNS(stat.cpuTicks, ticksPerSecond),
                        inRam + bytes("VmSwap"), inRam};
}

ProcessTreeProbe::ProcessTreeProbe(const QString& procRoot)
    : m_root(procRoot.toStdString())
    , m_ticksPerSecond(::sysconf(_SC_CLK_TCK))
    , m_files(isProcFileSystem(m_root)) {}

std::optional<HostMemory> ProcessTreeProbe::hostMemory() {
    const auto text = m_files.read(m_root + "/meminfo");
    return text ? parseMeminfo(*text) : std::nullopt;
}

std::optional<ProcessUsage> ProcessTreeProbe::measure(qint32 pid, int* threadsOut) {
    const auto statText = m_files.read(pidPath(m_root, pid, "/stat"));
    if (!statText)
        return std::nullopt;
    const auto stat = parseProcStat(*statText);
    if (!stat)
        return std::nullopt;
    const auto statusText = m_files.read(pidPath(m_root, pid, "/status"));
    if (!statusText)
        return std::nullopt;
    if (threadsOut)
        *threadsOut = int(proc::keyedBytes(*statusText, "Threads").value_or(0));
    return processUsage(*stat, *statusText, m_ticksPerSecond);
}

ProcessTreeSnapshot ProcessTreeProbe::snapshot(const QList<qint32>& rootPIDs, TreeWalk how) {
    if (rootPIDs.isEmpty())
        return {};
    ProcessTreeSnapshot result = walk(rootPIDs, how);
    m_files.closeUnread();
    return result;
}

ProcessTreeSnapshot ProcessTreeProbe::walk(const QList<qint32>& rootPIDs, TreeWalk how) {
    if (how == TreeWalk::tableScan)
        return walkTable(rootPIDs);
    Support support;
    {
        std::lock_guard lock(m_mutex);
        support = m_childrenSupport;
    }
    if (how == TreeWalk::automatic && support == Support::no)
        return walkTable(rootPIDs);
    if (auto result = walkChildrenLinks(rootPIDs))
        return *std::move(result);
    return how == TreeWalk::childrenLinks ? ProcessTreeSnapshot{} : walkTable(rootPIDs);
}

std::optional<ProcessTreeSnapshot> ProcessTreeProbe::walkChildrenLinks(const QList<qint32>& roots) {
    ProcessTreeSnapshot result;
    QSet<qint32> visited;
    QList<qint32> stack = roots;
    bool sawLinks = false;
    while (!stack.isEmpty()) {
        const qint32 pid = stack.takeLast();
        if (pid <= 0 || visited.contains(pid))
            continue;
        visited.insert(pid);
        int threads = 0;
        if (const auto usage = measure(pid, &threads))
            result.insert(pid, *usage);

        const std::string taskDir = pidPath(m_root, pid, "/task");
        bool missingLinks = false;
        const auto readChildren = [&](qint64 tid, std::uint64_t) {
            const std::string thread = taskDir + '/' + std::to_string(tid);
            const auto children = m_files.read(thread + "/children");
            if (!children) {
                // A thread that is still there but has no children file means the
                // kernel was built without them; one that exited just now is harmless.
                if (::access(thread.c_str(), F_OK) == 0)
                    missingLinks = true;
                return;
            }
            sawLinks = true;
            std::string_view rest = *children;
            while (!rest.empty()) {
                const size_t start = rest.find_first_not_of(' ');
                if (start == std::string_view::npos)
                    break;
                rest.remove_prefix(start);
                const size_t end = std::min(rest.find(' '), rest.size());
                std::string_view token = rest.substr(0, end);
                if (!token.empty() && token.back() == '\n')
                    token.remove_suffix(1);
                if (const auto child = proc::parsePositiveId(token); child && *child <= 0x7fffffff)
                    stack.append(static_cast<qint32>(*child));
                rest.remove_prefix(end);
            }
        };
        // Most processes of the tree have one thread: its id is the pid, and the
        // listing of task/ can be skipped.
        if (threads == 1)
            readChildren(pid, 0);
        else
            proc::forEachNumberedEntry(taskDir, readChildren);
        if (missingLinks && !sawLinks) {
            std::lock_guard lock(m_mutex);
            m_childrenSupport = Support::no;
            return std::nullopt;
        }
    }
    if (sawLinks) {
        std::lock_guard lock(m_mutex);
        m_childrenSupport = Support::yes;
    }
    return result;
}

ProcessTreeSnapshot ProcessTreeProbe::walkTable(const QList<qint32>& roots) {
    struct Listed {
        qint32 pid;
        std::uint64_t inode;
    };
    std::vector<Listed> listing;
    listing.reserve(512);
    QHash<qint32, std::uint64_t> present;
    const bool listed = proc::forEachNumberedEntry(m_root, [&](qint64 pid, std::uint64_t inode) {
        if (pid > 0x7fffffff)
            return;
        listing.push_back({static_cast<qint32>(pid), inode});
        present.insert(static_cast<qint32>(pid), inode);
    });
    if (!listed)
        return {};

    QHash<qint32, TableEntry> table;
    table.reserve(qsizetype(listing.size()));
    QHash<qint32, QList<qint32>> children;
    {
        std::lock_guard lock(m_mutex);
        for (const Listed& entry : listing) {
            const auto cached = m_table.constFind(entry.pid);
            const bool current =
                cached != m_table.constEnd() && cached->inode == entry.inode &&
                (cached->ppid == 0 ||
                 (cached->parentInode != 0 && present.value(cached->ppid) == cached->parentInode));
            TableEntry row;
            if (current) {
                row = *cached;
            } else {
                const auto statText = proc::readFile(pidPath(m_root, entry.pid, "/stat"));
                const auto stat = statText ? parseProcStat(*statText) : std::nullopt;
                if (!stat)
                    continue; // gone since the listing
                row = {entry.inode, stat->ppid, present.value(stat->ppid)};
            }
            table.insert(entry.pid, row);
            if (row.ppid > 0)
                children[row.ppid].append(entry.pid);
        }
        m_table = table;
    }

    ProcessTreeSnapshot result;
    QSet<qint32> visited;
    QList<qint32> stack = roots;
    while (!stack.isEmpty()) {
        const qint32 pid = stack.takeLast();
        if (visited.contains(pid))
            continue;
        visited.insert(pid);
        if (table.contains(pid)) {
            if (const auto usage = measure(pid))
                result.insert(pid, *usage);
        }
        const auto kids = children.constFind(pid);
        if (kids != children.constEnd())
            stack.append(*kids);
    }
    return result;
}

ProcessTreeSnapshot processTreeSnapshot(const QList<qint32>& rootPIDs, const QString& procRoot) {
    ProcessTreeProbe probe(procRoot);
    return probe.snapshot(rootPIDs);
}

} // namespace vxr
