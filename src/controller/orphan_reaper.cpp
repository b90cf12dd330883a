#include "controller/orphan_reaper.h"

#include "platform/proc/proc_files.h"
#include "platform/proc/process_tree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextBoundaryFinder>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace vxr {

namespace {

QString resolved(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// The kernel marks the executable of a replaced binary this way.
QString withoutDeletedMark(const QString& executable) {
    static const QString mark = QStringLiteral(" (deleted)");
    return executable.endsWith(mark) ? executable.chopped(mark.size()) : executable;
}

// Whether the process runs `program`: the kernel's link names the binary (through any
// symbolic links); the first argument names it as started. Never a later argument: a
// launcher that names the program among its own arguments is not it.
bool runs(const ProcessTableEntry& entry, const QString& program) {
    if (withoutDeletedMark(entry.executable) == program)
        return true;
    const QString first = entry.arguments.value(0);
    return first.endsWith(u'/' + QFileInfo(program).fileName()) && QDir::isAbsolutePath(first) &&
           resolved(first) == program;
}

bool isWorkerProgram(const ProcessTableEntry& entry, const WorkerPrograms& programs) {
    // The service only when it has arguments: a bare start is nothing we launch.
    return runs(entry, programs.evaluator) ||
           (runs(entry, programs.service) && entry.arguments.size() > 1);
}

void sendSigterm(qint32 pid) {
    ::kill(pid_t(pid), SIGTERM);
}

// Gone, or a zombie: its port and files are closed, only its adoptive parent's wait
// is still due.
bool gone(const QString& procRoot, qint32 pid) {
    const auto stat = proc::readFile(procRoot.toStdString() + '/' + std::to_string(pid) + "/stat");
    const auto parsed = stat ? parseProcStat(*stat) : std::nullopt;
    return !parsed || parsed->state == 'Z';
}

} // namespace

WorkerPrograms WorkerPrograms::inBinDir(const QString& binDir) {
    const QString bin = binDir + QLatin1String("/vxr-worker/bin/");
    return {resolved(bin + QLatin1String("vxr-worker")),
            resolved(bin + QLatin1String("vxr-evaluator-start"))};
}

QList<ProcessTableEntry> orphanedWorkerCandidates(const QList<ProcessTableEntry>& table,
                                                  const OrphanScope& scope) {
    QList<ProcessTableEntry> candidates;
    for (const ProcessTableEntry& entry : table) {
        if (entry.uid == scope.uid && scope.adoptiveParents.contains(entry.ppid) &&
            isWorkerProgram(entry, scope.programs))
            candidates.append(entry);
    }
    return candidates;
}

QString leadingCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (taken < count && finder.toNextBoundary() != -1)
        ++taken;
    if (taken < count)
        return text;
    return text.left(finder.position());
}

QStringList reapOrphans(const QList<ProcessTableEntry>& table,
                        const QList<ProcessTableEntry>& candidates,
                        const std::function<void(qint32 pid)>& sendTerminate) {
    const auto send = sendTerminate ? sendTerminate : std::function<void(qint32)>(sendSigterm);
    QStringList lines;
    for (const ProcessTableEntry& candidate : candidates) {
        for (const ProcessTableEntry& entry : table) {
            if (entry.ppid == candidate.pid)
                send(entry.pid);
        }
        send(candidate.pid);
        lines.append(QStringLiteral("reaped orphaned worker process %1: %2")
                         .arg(candidate.pid)
                         .arg(leadingCharacters(candidate.command(), 80)));
    }
    return lines;
}

QStringList reapOrphanedWorkerProcesses(const OrphanReaperEnvironment& environment) {
    const QList<ProcessTableEntry> table = readProcessTable(environment.procRoot);
    const qint32 self = environment.ownPid > 0 ? environment.ownPid : qint32(::getpid());
    OrphanScope scope;
    scope.programs = WorkerPrograms::inBinDir(environment.binDir);
    scope.uid = environment.uid >= 0 ? environment.uid : qint64(::getuid());
    const QList<qint32> ancestors = ancestorsOf(self, table);
    scope.adoptiveParents = QSet<qint32>(ancestors.begin(), ancestors.end());
    scope.adoptiveParents.insert(1);

    const QList<ProcessTableEntry> candidates = orphanedWorkerCandidates(table, scope);
    const QStringList lines = reapOrphans(table, candidates, environment.sendTerminate);
    QElapsedTimer clock;
    clock.start();
    for (const ProcessTableEntry& candidate : candidates) {
        while (!gone(environment.procRoot, candidate.pid) &&
               clock.elapsed() < environment.waitForExitMs)
            QThread::msleep(20);
    }
    return lines;
}

} // namespace vxr
