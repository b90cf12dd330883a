#include "worker_interface/one_shot.h"
#include "worker_interface/registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cerrno>
#include <memory>
#include <optional>

#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>

using namespace vxr;
using Kind = RegistrationStatus::Kind;

// A disk that fails mid-listing: while armed on this thread, readdir() returns this
// many entries, then fails with EIO. The C++ library's directory iterators call it.
thread_local int readdirEntriesBeforeFailure = -1;

extern "C" dirent* readdir(DIR* directory) {
    using Real = dirent* (*)(DIR*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "readdir"));
    if (readdirEntriesBeforeFailure == 0) {
        errno = EIO;
        return nullptr;
    }
    if (readdirEntriesBeforeFailure > 0)
        --readdirEntriesBeforeFailure;
    return real(directory);
}

namespace {
struct Result {
    int status = 0;
    QString output;
};

QString writeScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

class TestRegistration : public QObject {
    Q_OBJECT
private slots:
    void ownerCheck_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addColumn<RegistrationStatus>("expected");
        const QString owner = QStringLiteral("0x123456789"); // 11 characters
        QTest::newRow("11 characters") << 0 << owner + "\n"
                                       << RegistrationStatus::registered(owner);
        QTest::newRow("10 characters") << 0 << "0x12345678\n"
                                       << RegistrationStatus::notRegistered();
        QTest::newRow("exit 1") << 1 << owner << RegistrationStatus::notRegistered();
        QTest::newRow("blank lines first") << 0 << "\n\n  \r\n" + owner + "\nmore\n"
                                           << RegistrationStatus::registered(owner);
        QTest::newRow("text line first")
            << 0 << "Owner:\n" + owner << RegistrationStatus::notRegistered();
        QTest::newRow("upper-case X") << 0 << "0X123456789" << RegistrationStatus::notRegistered();
        QTest::newRow("launch failure")
            << -1 << "Failed to launch: x" << RegistrationStatus::notRegistered();
    }
    void ownerCheck() {
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(RegistrationStatus, expected);
        QCOMPARE(ownerCheckResult(status, output), expected);
    }

    void registrationAndResetMessages() {
        QCOMPARE(registrationFailure(1, "log\nRegistration complete\n"), std::nullopt);
        QCOMPARE(registrationFailure(2, ""), QStringLiteral("Registration failed (exit 2)"));
        QCOMPARE(registrationFailure(0, "  \n"), QStringLiteral("Registration failed (exit 0)"));
        QCOMPARE(registrationFailure(1, "\n key mismatch \n"), QStringLiteral("key mismatch"));

        QCOMPARE(resetResult(0, "ok", std::nullopt), std::nullopt);
        QCOMPARE(resetResult(3, "", std::nullopt),
                 RegistrationStatus::failed("Reset failed (exit 3)"));
        QCOMPARE(resetResult(3, " no identity\n", std::nullopt),
                 RegistrationStatus::failed("no identity"));
        // A failed backup is what the user sees, whatever the reset's own result.
        QCOMPARE(resetResult(0, "", QStringLiteral("disk full")),
                 RegistrationStatus::failed("Reset done, but backup failed: disk full"));
        QCOMPARE(resetResult(4, "oops", QStringLiteral("disk full")),
                 RegistrationStatus::failed("Reset done, but backup failed: disk full"));
    }

    void backupCopiesTheTreeWithLinks() {
        QTemporaryDir home;
        const QString storage = home.filePath(".vxr/localStorage");
        QVERIFY(writeFile(storage + "/a.json", "{\"id\":1}"));
        QVERIFY(writeFile(storage + "/deep/b.bin", "bytes"));
        QVERIFY(QFile::link("a.json", storage + "/link.json"));

        const QDateTime now(QDate(2026, 12, 8), QTime(1, 16, 17),
                            QTimeZone(QByteArrayLiteral("Europe/Paris")));
        QCOMPARE(backupLocalStorage(home.path(), now), std::nullopt);
        // The stamp is the UTC time, colons as dashes.
        const QString copy =
            home.filePath(".vxr/vxr-worker/backups/localStorage-2026-12-08T00-16-17Z");
        QFile a(copy + "/a.json");
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), QByteArray("{\"id\":1}"));
        QVERIFY(QFileInfo::exists(copy + "/deep/b.bin"));
        QVERIFY(QFileInfo(copy + "/link.json").isSymLink());
        QCOMPARE(QFileInfo(copy + "/link.json").symLinkTarget(), copy + "/a.json");

        // A second backup in the same second must fail rather than merge into the first.
        QVERIFY(writeFile(storage + "/later.json", "x"));
        const std::optional<QString> error = backupLocalStorage(home.path(), now);
        QVERIFY(error);
        QVERIFY2(error->contains(QLatin1String("File exists")), qPrintable(*error));
        QVERIFY(!QFileInfo::exists(copy + "/later.json"));
    }

    void readErrorDuringBackupIsReported() {
        QTemporaryDir home;
        const QString storage = home.filePath(".vxr/localStorage");
        for (const char* name : {"a.json", "b.json", "c.json"})
            QVERIFY(writeFile(storage + "/" + name, "{}"));
        readdirEntriesBeforeFailure = 2;
        const std::optional<QString> error =
            backupLocalStorage(home.path(), QDateTime::currentDateTimeUtc());
        readdirEntriesBeforeFailure = -1;
        QVERIFY(error);
        QVERIFY2(error->contains(storage), qPrintable(*error));
        QCOMPARE(resetResult(0, "", error),
                 RegistrationStatus::failed("Reset done, but backup failed: " + *error));
    }

    void nothingToBackUpIsSuccess() {
        QTemporaryDir home;
        QCOMPARE(backupLocalStorage(home.path(), QDateTime::currentDateTimeUtc()), std::nullopt);
        QVERIFY(!QFileInfo::exists(home.filePath(".vxr/vxr-worker/backups")));
    }

    void oneShotResults_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("arguments, stdout and stderr on one pipe")
            << QByteArray("echo \"out $1 $#\"; echo err >&2; exit 3") << 3
            << "out --show=owner 1\nerr\n";
        QTest::newRow("stdin is closed") << QByteArray("cat; echo done") << 0 << "done\n";
        QTest::newRow("not UTF-8 becomes empty")
            << QByteArray("printf '\\377\\376'") << 0 << QString();
        QTest::newRow("killed by a signal") << QByteArray("kill -TERM $$") << 15 << QString();
    }
    void oneShotResults() {
        QFETCH(QByteArray, script);
        QFETCH(int, status);
        QFETCH(QString, output);
        QTemporaryDir dir;
        const QString program = writeScript(dir, "worker.sh", script);
        std::optional<Result> result;
        runOneShot(program, {"--show=owner"}, this, [&](int s, const QString& o) {
            result = Result{s, o};
        });
        QTRY_VERIFY(result);
        QCOMPARE(result->status, status);
        QCOMPARE(result->output, output);
    }

    void oneShotLargeOutputCompletes() {
        QTemporaryDir dir;
        // 1 MiB is far beyond a pipe's buffer: the child only exits if we keep reading.
        const QString program =
            writeScript(dir, "worker.sh", "head -c 1048576 /dev/zero | tr '\\0' 'x'\n");
        std::optional<Result> result;
        runOneShot(program, {}, this, [&](int s, const QString& o) { result = Result{s, o}; });
        QTRY_VERIFY_WITH_TIMEOUT(result, 10000);
        QCOMPARE(result->status, 0);
        QCOMPARE(result->output.size(), 1048576);
    }

    void oneShotLaunchFailure() {
        std::optional<Result> result;
        runOneShot("/nonexistent/vxr-worker.sh", {}, this, [&](int s, const QString& o) {
            result = Result{s, o};
        });
        QTRY_VERIFY(result);
        QCOMPARE(result->status, -1);
        QVERIFY2(result->output.startsWith("Failed to launch: ") && result->output.size() > 18,
                 qPrintable(result->output));
    }

    // A hung one-shot is stopped, politely first, by force when it ignores that, and
    // reported as a failure that names no argument (a key must stay on the command line).
    void oneShotTimeLimit_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("hangs") << QByteArray("exec sleep 600\n");
        QTest::newRow("ignores SIGTERM")
            << QByteArray("trap '' TERM; while :; do sleep 0.05; done\n");
    }
    void oneShotTimeLimit() {
        QFETCH(QByteArray, script);
        QTemporaryDir dir;
        const QString program = writeScript(dir, "worker.sh", "echo $$ > \"$0.pid\"\n" + script);
        std::optional<Result> result;
        runOneShot(
            program, {"--register=secret"}, this,
            [&](int s, const QString& o) {
                result = Result{s, o};
            },
            OneShotLimits{Millis(300), Millis(300)});
        QTRY_VERIFY_WITH_TIMEOUT(result, 5000);
        QCOMPARE(result->status, kOneShotTimedOut);
        QCOMPARE(result->output, oneShotTimeoutMessage(Millis(300)));
        QVERIFY(!result->output.contains("secret"));
        QFile pidFile(program + ".pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        QVERIFY(::kill(pid_t(pidFile.readAll().trimmed().toInt()), 0) != 0);
    }

    void oneShotCompletionSkippedWhenContextIsGone() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("ran");
        const QString program = writeScript(dir, "worker.sh", "sleep 0.2; touch \"$1\"\n");
        auto context = std::make_unique<QObject>();
        bool called = false;
        runOneShot(program, {marker}, context.get(), [&](int, const QString&) { called = true; });
        context.reset();
        // The child itself is not killed: it finishes its work.
        QTRY_VERIFY(QFileInfo::exists(marker));
        QTest::qWait(100);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestRegistration)
#include "test_registration.moc"
