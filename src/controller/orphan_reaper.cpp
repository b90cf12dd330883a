#include "controller/orphan_reaper.h"

#include "core/diagnostics.h"

#include <QProcess>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <csignal>
#include <limits>
#include <optional>

namespace vxr {

namespace {

// Strict decimal: optional sign, then digits only, within 32 bits.
std::optional<qint32> parseInt32(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

std::optional<ProcessListingEntry> parseLine(QStringView line) {
    // At most three pieces split at blanks, empty pieces dropped; after the second
    // piece the rest of the line, past exactly one blank, is the command unchanged.
    QStringView pieces[2];
    int found = 0;
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < line.size() && found < 2; ++i) {
        if (line[i] != u' ')
            continue;
        if (i > start)
            pieces[found++] = line.sliced(start, i - start);
        start = i + 1;
    }
    if (found < 2 || start >= line.size())
        return std::nullopt;
    const auto pid = parseInt32(pieces[0]);
    const auto ppid = parseInt32(pieces[1]);
    if (!pid || !ppid)
        return std::nullopt;
    return ProcessListingEntry{*pid, *ppid, line.sliced(start).toString()};
}

void sendSigterm(qint32 pid) {
    ::kill(pid_t(pid), SIGTERM);
}

} // namespace

QList<ProcessListingEntry> parseProcessListing(const QString& text) {
    QList<ProcessListingEntry> entries;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (auto entry = parseLine(line))
            entries.append(std::move(*entry));
    }
    return entries;
}

QList<ProcessListingEntry> orphanedWorkerCandidates(const QList<ProcessListingEntry>& listing) {
    const QString evaluator = QString::fromLatin1(kEvaluatorCommandFragment);
    const QString service = QString::fromLatin1(kServiceCommandFragment);
    QList<ProcessListingEntry> candidates;
    for (const ProcessListingEntry& entry : listing) {
        if (entry.ppid == 1 && (entry.command.contains(evaluator, Qt::CaseSensitive) ||
                                entry.command.contains(service, Qt::CaseSensitive)))
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

void reapOrphans(const QList<ProcessListingEntry>& listing,
                 const std::function<void(qint32 pid)>& sendTerminate) {
    const auto send = sendTerminate ? sendTerminate : std::function<void(qint32)>(sendSigterm);
    for (const ProcessListingEntry& candidate : orphanedWorkerCandidates(listing)) {
        for (const ProcessListingEntry& entry : listing) {
            if (entry.ppid == candidate.pid)
                send(entry.pid);
        }
        send(candidate.pid);
        writeDiagnostic(QStringLiteral("reaped orphaned worker process %1: %2")
                            .arg(candidate.pid)
                            .arg(leadingCharacters(candidate.command, 80)));
    }
}

void reapOrphanedWorkerProcesses(const OrphanReaperEnvironment& environment) {
    QProcess ps;
    ps.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ps.setStandardInputFile(QProcess::nullDevice());
    ps.start(environment.psProgram, environment.psArguments);
    if (!ps.waitForStarted(environment.listingTimeoutMs))
        return;
    // This is the one wait on the GUI thread; it is bounded so a hung ps costs at most
    // the timeout. A listing cut short is not trusted.
    if (!ps.waitForFinished(environment.listingTimeoutMs)) {
        ps.kill();
        ps.waitForFinished(1000);
        return;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(ps.readAllStandardOutput());
    if (decoder.hasError())
        text.clear();
    reapOrphans(parseProcessListing(text), environment.sendTerminate);
}

} // namespace vxr
