#pragma once

#include "platform/proc/process_table.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace vxr {

// Where the worker programs of this application's worker installation live.
struct WorkerPrograms {
    QString service;   // <binDir>/vxr-worker/bin/vxr-worker
    QString evaluator; // <binDir>/vxr-worker/bin/vxr-evaluator-start

    // The programs under binDir, with symbolic links resolved where they exist.
    [[nodiscard]] static WorkerPrograms inBinDir(const QString& binDir);
};

// What makes a process an orphan of ours: one of our worker programs (the service only
// with arguments), run by our user, whose parent is one of the processes that adopt
// orphans of this session. That is pid 1, or, under a child subreaper such as a
// systemd user manager, one of this application's own ancestors.
struct OrphanScope {
    WorkerPrograms programs;
    qint64 uid = -1;
    QSet<qint32> adoptiveParents;
};

// Candidates in table order.
[[nodiscard]] QList<ProcessTableEntry>
orphanedWorkerCandidates(const QList<ProcessTableEntry>& table, const OrphanScope& scope);

// The first count user-perceived characters of text (never splits a surrogate pair).
[[nodiscard]] QString leadingCharacters(const QString& text, int count);

// Signals the direct children (in table) of every candidate, then the candidate.
// Returns one line per candidate, "reaped orphaned worker process <pid>: <first 80
// characters of its command>", for the caller to write on its own thread.
[[nodiscard]] QStringList reapOrphans(const QList<ProcessTableEntry>& table,
                                      const QList<ProcessTableEntry>& candidates,
                                      const std::function<void(qint32 pid)>& sendTerminate);

// What the reaper reads and how it signals; the defaults are the real ones.
struct OrphanReaperEnvironment {
    QString binDir;
    QString procRoot = QStringLiteral("/proc");
    qint32 ownPid = 0; // 0: this process
    qint64 uid = -1;   // -1: this process's real user
    // Sends SIGTERM to pid; the result is ignored.
    std::function<void(qint32 pid)> sendTerminate;
    // How long to wait for the signalled candidates to be gone, so that a service
    // started next finds the port free. 0 waits not at all.
    int waitForExitMs = 2000;
};

// Reads the process table from /proc and reaps the orphaned worker processes in it.
// Blocking (file reads, and the bounded wait): run it off the GUI thread.
[[nodiscard]] QStringList reapOrphanedWorkerProcesses(const OrphanReaperEnvironment& environment);

} // namespace vxr
