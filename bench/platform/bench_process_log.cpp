// Process-log capture: throughput of one child printing short lines flat out, and the
// longest time one of the child's writes was blocked by a full pipe.

#include "platform/child_process.h"
#include "platform/process_log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

using namespace vxr;

namespace {

constexpr qint64 kBytesToWrite = 256ll << 20;

// Child mode: write short lines to stdout until kBytesToWrite, then report the longest
// single write() in microseconds to the file named on the command line.
int runWriter(const char* reportPath) {
    char line[64];
    std::snprintf(line, sizeof line, "sandbox 3 slice 12345 progress 0.4711 ok\n");
    const size_t length = std::strlen(line);
    char block[64 * 1024];
    size_t used = 0;
    while (used + length <= sizeof block) {
        std::memcpy(block + used, line, length);
        used += length;
    }
    long long longestMicros = 0;
    for (qint64 written = 0; written < kBytesToWrite; written += qint64(used)) {
        const auto start = std::chrono::steady_clock::now();
        if (::write(STDOUT_FILENO, block, used) != ssize_t(used))
            return 1;
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
        longestMicros = std::max<long long>(longestMicros, micros);
    }
    FILE* report = std::fopen(reportPath, "w");
    if (!report)
        return 1;
    std::fprintf(report, "%lld", longestMicros);
    std::fclose(report);
    return 0;
}

} // namespace

class BenchProcessLog : public QObject {
    Q_OBJECT
    // The longest blocked write over every run of captureThroughput, in ms.
    double m_longestBlockMs = -1;

private slots:
    void captureThroughput() {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("vxrwork-processes.log"));
        const QString report = dir.filePath(QStringLiteral("longest-write"));
        double seconds = 0;
        QBENCHMARK_ONCE {
            ChildProcess child(QCoreApplication::applicationFilePath(),
                               {QStringLiteral("--writer"), report},
                               QProcessEnvironment::systemEnvironment());
            // A cap and a backlog above the run's output: the throughput measured is the
            // plain append's, nothing left out.
            const ProcessLog::Limits limits{2 * kBytesToWrite, 2 * kBytesToWrite};
            child.attachLogging(
                std::make_shared<ProcessLog>(dir.path(), QFileInfo(log).fileName(), limits),
                QStringLiteral("worker"));
            QSignalSpy exited(&child, &ChildProcess::exited);
            QElapsedTimer timer;
            timer.start();
            QString error;
            QVERIFY(child.start(&error));
            QVERIFY(exited.wait(120000));
            // The reader finishes shortly after the child: wait for the whole log.
            const qint64 expectedAtLeast = kBytesToWrite;
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() >= expectedAtLeast, 60000);
            seconds = double(timer.nsecsElapsed()) / 1e9;
        }
        QFile longest(report);
        QVERIFY(longest.open(QIODevice::ReadOnly));
        const double mbPerSecond = double(kBytesToWrite) / 1e6 / seconds;
        QTest::setBenchmarkResult(mbPerSecond, QTest::Events);
        m_longestBlockMs = std::max(m_longestBlockMs, longest.readAll().toDouble() / 1000.0);
    }

    void longestBlockedWrite() {
        QVERIFY(m_longestBlockMs >= 0);
        QTest::setBenchmarkResult(m_longestBlockMs, QTest::WalltimeMilliseconds);
    }
};

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--writer") == 0)
        return runWriter(argv[2]);
    QCoreApplication app(argc, argv);
    BenchProcessLog bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_process_log.moc"
