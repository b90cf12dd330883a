#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace vxr {

// One line of the process listing: process id, parent id and full command line.
struct ProcessListingEntry {
    qint32 pid = 0;
    qint32 ppid = 0;
    QString command;

    bool operator==(const ProcessListingEntry&) const = default;
};

// Command-line fragments that mark a worker program. The service fragment ends in a
// blank so it matches only when the program has arguments.
inline constexpr const char* kEvaluatorCommandFragment = "vxr-worker/bin/vxr-evaluator-start";
inline constexpr const char* kServiceCommandFragment = "vxr-worker/bin/vxr-worker ";

// Parses "pid ppid command" lines as "/bin/ps -axo pid=,ppid=,command=" writes them.
// Lines that do not hold two decimal 32-bit ids and a command are skipped.
[[nodiscard]] QList<ProcessListingEntry> parseProcessListing(const QString& text);

// Worker processes adopted by process 1, in listing order.
[[nodiscard]] QList<ProcessListingEntry>
orphanedWorkerCandidates(const QList<ProcessListingEntry>& listing);

// The first count user-perceived characters of text (never splits a surrogate pair).
[[nodiscard]] QString leadingCharacters(const QString& text, int count);

// What the reaper runs and how it signals; the defaults are the real ones.
struct OrphanReaperEnvironment {
    QString psProgram = QStringLiteral("/bin/ps");
    QStringList psArguments{QStringLiteral("-axo"), QStringLiteral("pid=,ppid=,command=")};
    // A hung ps must not freeze the application: the listing is abandoned after this.
    int listingTimeoutMs = 5000;
    // Sends SIGTERM to pid; the result is ignored.
    std::function<void(qint32 pid)> sendTerminate;
};

// Signals the direct children of every candidate, then the candidate, and writes
// "reaped orphaned worker process <pid>: <first 80 characters of its command>".
void reapOrphans(const QList<ProcessListingEntry>& listing,
                 const std::function<void(qint32 pid)>& sendTerminate);

// Lists every process with ps (blocking, bounded) and reaps the orphaned worker
// processes in it. A ps that cannot run, or does not finish in time, reaps nothing.
void reapOrphanedWorkerProcesses(const OrphanReaperEnvironment& environment = {});

} // namespace vxr
