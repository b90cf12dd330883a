#include "core/diagnostics.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "jobs/job_list_model.h"
#include "jobs/jobs_screen_logic.h"

#include "jobs/task_info_builder.h"
#include "support/task_info_json.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vxr;
using namespace vxr::testing;

namespace {

const QDateTime t0 = QDateTime(QDate(2026, 12, 9), QTime(1, 2, 3), Qt::UTC);

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One task (serial|taskTime) reporting `slices` of each job with the given cpu.
QJsonObject document(const QList<QString>& jobIds, const QJsonValue& serial = 1,
                     const QJsonValue& taskTime = 100, double slices = 2, double cpu = 50,
                     const QJsonObject& jobs = {}) {
    QList<Share> shares;
    for (const QString& id : jobIds)
        shares.append({id, slices, cpuMetrics(cpu)});
    return makeDocument({makeTask(serial, taskTime, shares)}, jobs);
}

QStringList ids(const QList<JobRecord>& jobs) {
    QStringList result;
    for (const JobRecord& job : jobs)
        result.append(job.id);
    return result;
}

QStringList modelIds(const QAbstractItemModel& model) {
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row)
        result.append(model.index(row, 0).data(JobListModel::JobIdRole).toString());
    return result;
}

QList<JobRecord> records(const QStringList& idList, int tag = 0) {
    QList<JobRecord> result;
    for (const QString& id : idList) {
        JobRecord r;
        r.id = id;
        r.firstSeen = r.lastActive = t0;
        TaskSnapshot task;
        task.slicesDone = 1 + tag;
        r.tasks.insert(QStringLiteral("k"), task);
        result.append(r);
    }
    return result;
}

} // namespace

class TestJobHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QDateTime m_now;
    Timing m_timing = Timing{}.scaled(0.2); // 600 ms save delay

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString historyPath() const { return path(QStringLiteral("job-history.json")); }
    QString dismissedPath() const { return path(QStringLiteral("job-history-dismissed.json")); }

    std::unique_ptr<JobHistory> makeHistory() {
        return std::make_unique<JobHistory>(m_dir->path(), m_timing, [this] { return m_now; });
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_now = t0;
    }

    void creationLoadsBothFilesIndependently_data() {
        QTest::addColumn<QByteArray>("history");
        QTest::addColumn<QByteArray>("dismissed");
        QTest::addColumn<QStringList>("jobIds");
        QTest::addColumn<int>("dismissedJobs");

        // Stored older-first, to show the list is taken exactly as stored.
        const QByteArray twoJobs = encodeJobHistory(records({"old", "new"}));
        QByteArray missingLastActive = encodeJobHistory(records({"x"}));
        missingLastActive.replace("\"lastActive\"", "\"lastSeen\"");
        const QByteArray pairs = R"({"j":["1|100"],"k":[]})";
        QTest::newRow("both valid") << twoJobs << pairs << QStringList{"old", "new"} << 2;
        QTest::newRow("record without lastActive")
            << missingLastActive << pairs << QStringList{} << 2;
        QTest::newRow("bad dismissals")
            << twoJobs << QByteArray("{\"j\":\"1|100\"}") << QStringList{"old", "new"} << 0;
        QTest::newRow("both missing") << QByteArray() << QByteArray() << QStringList{} << 0;
    }
    void creationLoadsBothFilesIndependently() {
        QFETCH(QByteArray, history);
        QFETCH(QByteArray, dismissed);
        QFETCH(QStringList, jobIds);
        QFETCH(int, dismissedJobs);
        if (!history.isEmpty())
            QVERIFY(writeAll(historyPath(), history));
        if (!dismissed.isEmpty())
            QVERIFY(writeAll(dismissedPath(), dismissed));

        DiagnosticCapture diagnostics;
        const auto store = makeHistory();
        QCOMPARE(ids(store->jobs()), jobIds);
        QCOMPARE(modelIds(*store->model()), jobIds);
        QCOMPARE(store->dismissed().size(), dismissedJobs);
        QVERIFY(!store->hasPendingSave());

        // A file that did not decode is kept aside, byte for byte, not left to be overwritten.
        const QString suffix = QStringLiteral(".unreadable-20261209T010203Z");
        const bool historyBad = !history.isEmpty() && jobIds.isEmpty();
        const bool dismissedBad = !dismissed.isEmpty() && dismissedJobs == 0;
        QCOMPARE(QFile::exists(historyPath()), !history.isEmpty() && !historyBad);
        QCOMPARE(readAll(historyPath() + suffix), historyBad ? history : QByteArray());
        QCOMPARE(QFile::exists(dismissedPath()), !dismissed.isEmpty() && !dismissedBad);
        QCOMPARE(readAll(dismissedPath() + suffix), dismissedBad ? dismissed : QByteArray());
        QCOMPARE(diagnostics.lines().size(), int(historyBad) + int(dismissedBad));
        if (historyBad)
            QCOMPARE(diagnostics.lines().first(),
                     QStringLiteral("unreadable job history file kept as ") + historyPath() +
                         suffix);
    }

    void unreadableFilesNeverReplaceEarlierOnes() {
        DiagnosticCapture diagnostics;
        QVERIFY(writeAll(historyPath(), "first"));
        makeHistory();
        QVERIFY(writeAll(historyPath(), "second"));
        makeHistory(); // same second
        const QString aside = historyPath() + QStringLiteral(".unreadable-20261209T010203Z");
        QCOMPARE(readAll(aside), QByteArray("first"));
        QCOMPARE(readAll(aside + QStringLiteral("-2")), QByteArray("second"));
    }

    void creationMakesTheDirectory() {
        const QString nested = path(QStringLiteral("a/VXR Worker"));
        JobHistory store(nested, m_timing);
        QVERIFY(QFileInfo(nested).isDir());
        store.ingest(testing::taskInfo(document({"j"})));
        store.saveNow();
        QVERIFY(QFile::exists(nested + QStringLiteral("/job-history.json")));
    }

    void workerProcessIsPublishedOnlyWhenItChanges() {
        const auto store = makeHistory();
        QSignalSpy process(store.get(), &JobHistory::workerProcessChanged);
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        const QJsonObject withProcess{{"workerProcess", QJsonObject{{"rss", 5}}}};

        store->ingest(testing::taskInfo(withProcess));
        QCOMPARE(process.count(), 1);
        QCOMPARE(store->workerProcess()->rss, 5.0);
        QVERIFY(store->property("hasWorkerProcess").toBool());
        const auto rows = store->property("workerProcessRows").toList();
        QCOMPARE(rows.size(), jobs_screen::workerProcessRows(*store->workerProcess()).size());
        QCOMPARE(rows.first().value<jobs_screen::ProcessRow>(),
                 jobs_screen::workerProcessRows(*store->workerProcess()).first());
        store->ingest(testing::taskInfo(withProcess));
        QCOMPARE(process.count(), 1);
        store->ingest(testing::taskInfo(
            {{"workerProcess", QJsonObject{{"rss", 6}}}, {"tasks", QJsonArray{}}}));
        QCOMPARE(process.count(), 2);
        store->ingest(testing::taskInfo({{"workerProcess", 7}}));
        QCOMPARE(process.count(), 3);
        QVERIFY(!store->workerProcess());
        QVERIFY(!store->property("hasWorkerProcess").toBool());
        QVERIFY(store->property("workerProcessRows").toList().isEmpty());

        QCOMPARE(jobs.count(), 0);
        QVERIFY(!store->hasPendingSave());
    }

    void sameDocumentTwiceChangesNothing() {
        const auto store = makeHistory();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        QSignalSpy saved(store.get(), &JobHistory::saved);
        const QJsonObject doc = document({"j"});

        store->ingest(testing::taskInfo(doc));
        QCOMPARE(jobs.count(), 1);
        QVERIFY(store->hasPendingSave());
        store->saveNow();
        QCOMPARE(saved.count(), 1);

        m_now = t0.addSecs(10);
        store->ingest(testing::taskInfo(doc));
        QCOMPARE(jobs.count(), 1);
        QVERIFY(!store->hasPendingSave());
        QCOMPARE(store->jobs().at(0).firstSeen, t0);
        QCOMPARE(store->jobs().at(0).lastActive, t0);

        m_now = t0.addSecs(20);
        store->ingest(testing::taskInfo(document({"j"}, 1, 100, 3)));
        QCOMPARE(jobs.count(), 2);
        QCOMPARE(store->jobs().at(0).firstSeen, t0);
        QCOMPARE(store->jobs().at(0).lastActive, m_now);
    }

    void skippedEntries_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("records");
        const QByteArray valid =
            R"({"tasks":[{"jobs":{"J":{"slicesDone":2}},"prototype":{"serial":1,"taskTime":2,)"
            R"("currentTask":{"jobs":{"J":{"metrics":{"cpu":5}}}}}}]})";
        const auto variant = [&](const char* from, const char* to) {
            return QByteArray(valid).replace(from, to);
        };
        QTest::newRow("valid") << valid << 1;
        QTest::newRow("slicesDone 0") << variant(R"("slicesDone":2)", R"("slicesDone":0)") << 0;
        QTest::newRow("slicesDone negative")
            << variant(R"("slicesDone":2)", R"("slicesDone":-1)") << 0;
        QTest::newRow("slicesDone missing") << variant(R"("slicesDone":2)", R"("done":2)") << 0;
        QTest::newRow("slicesDone as text")
            << variant(R"("slicesDone":2)", R"("slicesDone":"2")") << 0;
        QTest::newRow("no counter for the job")
            << variant(R"({"J":{"slicesDone")", R"({"K":{"slicesDone")") << 0;
        QTest::newRow("no metrics") << variant(R"("metrics")", R"("metric")") << 0;
        QTest::newRow("no currentTask") << variant(R"("currentTask")", R"("current")") << 0;
        QTest::newRow("task not an object") << QByteArray(R"({"tasks":[1,"x",null]})") << 0;
        QTest::newRow("tasks not an array") << QByteArray(R"({"tasks":{"0":{}}})") << 0;
    }
    void skippedEntries() {
        QFETCH(QByteArray, document);
        QFETCH(int, records);
        const auto store = makeHistory();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        store->ingest(testing::taskInfo(QJsonDocument::fromJson(document).object()));
        QCOMPARE(store->jobs().size(), records);
        QCOMPARE(jobs.count(), records);
        QCOMPARE(store->hasPendingSave(), records > 0);
    }

    void laterTaskWithTheSameKeyOverwrites() {
        const auto store = makeHistory();
        const QJsonValue none = QJsonValue::Undefined;
        store->ingest(
            testing::taskInfo(makeDocument({makeTask(none, none, {{"j", 1, cpuMetrics(10)}}),
                                            makeTask(none, none, {{"j", 4, cpuMetrics(20)}})})));
        const JobRecord& job = store->jobs().at(0);
        QCOMPARE(job.tasks.keys(), QStringList{"|"});
        QCOMPARE(job.tasks.first().slicesDone, 4.0);
        QCOMPARE(job.cpuPerSlice(), 20.0);
    }

    void nameAndComputeGroup() {
        const auto store = makeHistory();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        const auto ingest = [&](const QJsonObject& info, const QString& entryGroup) {
            store->ingest(testing::taskInfo(
                makeDocument({makeTask(1, 100, {{"j", 2, cpuMetrics(5), entryGroup}})},
                             info.isEmpty() ? QJsonObject{} : QJsonObject{{"j", info}})));
            return store->jobs().at(0);
        };

        JobRecord job = ingest({{"name", "Alpha"}, {"cgId", "g1"}}, "ignored");
        QCOMPARE(job.name, std::optional<QString>("Alpha"));
        QCOMPARE(job.computeGroup, std::optional<QString>("g1"));

        // Empty name keeps the stored one; no cgId in the job's info falls back to the task's.
        m_now = t0.addSecs(5);
        job = ingest({{"name", ""}}, "g2");
        QCOMPARE(job.name, std::optional<QString>("Alpha"));
        QCOMPARE(job.computeGroup, std::optional<QString>("g2"));
        QCOMPARE(job.lastActive, t0); // only the snapshot moves lastActive
        QCOMPARE(jobs.count(), 2);

        job = ingest({}, "g3");
        QCOMPARE(job.computeGroup, std::optional<QString>("g3"));
        job = ingest({{"name", 3}, {"cgId", ""}}, "g4");
        QCOMPARE(job.name, std::optional<QString>("Alpha"));
        QCOMPARE(job.computeGroup, std::optional<QString>(""));
        QCOMPARE(jobs.count(), 4);
        ingest({{"cgId", ""}}, QString());
        QCOMPARE(jobs.count(), 4);

        // Within one document the last task's group wins, even when it equals the
        // group stored before the document.
        store->ingest(
            testing::taskInfo(makeDocument({makeTask(1, 100, {{"j", 2, cpuMetrics(5), "g5"}}),
                                            makeTask(2, 100, {{"j", 2, cpuMetrics(5), ""}})})));
        QCOMPARE(store->jobs().at(0).computeGroup, std::optional<QString>(""));
    }

    void breakdownAndEstimate() {
        const auto store = makeHistory();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        const auto ingest = [&](double heap, double slices, double cpuEstimate) {
            const QJsonObject info{
                {"ramBreakdown", QJsonObject{{"heap", heap}, {"other", 1}, {"slices", slices}}},
                {"metrics", QJsonObject{{"cpu", cpuEstimate}, {"in", 3}}}};
            store->ingest(testing::taskInfo(document({"j"}, 1, 100, 2, 50, {{"j", info}})));
        };
        const auto breakdown = [&] { return store->jobs().at(0).ramBreakdown.value(); };

        ingest(100, 10, 7);
        QCOMPARE(breakdown(), (RAMBreakdown{100, 0, 0, 1, 10}));
        QCOMPARE(
            store->jobs().at(0).estimate,
            std::optional(Estimate{7, std::nullopt, 3, std::nullopt, std::nullopt, std::nullopt}));
        ingest(200, 9, 7); // fewer slices: ignored
        QCOMPARE(breakdown().heap, 100.0);
        QCOMPARE(jobs.count(), 1);
        ingest(300, 10, 7); // same slices, other values: replaces
        QCOMPARE(breakdown().heap, 300.0);
        QCOMPARE(jobs.count(), 2);
        ingest(300, 10, 8);
        QCOMPARE(store->jobs().at(0).estimate->cpu, std::optional<double>(8));
        QCOMPARE(jobs.count(), 3);
    }

    void removeKeepsTheJobAwayUntilANewTask() {
        const auto store = makeHistory();
        store->ingest(testing::taskInfo(document({"j", "k"})));
        store->saveNow();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);

        store->remove("j");
        QCOMPARE(ids(store->jobs()), QStringList{"k"});
        QCOMPARE(jobs.count(), 1);
        QVERIFY(store->hasPendingSave());
        QCOMPARE(store->dismissed(), (DismissedPairs{{"j", {"1|100"}}}));

        m_now = t0.addSecs(60);
        store->ingest(
            testing::taskInfo(document({"j", "k"}, 1, 100, 5))); // k changes, j stays dismissed
        QCOMPARE(ids(store->jobs()), QStringList{"k"});
        store->ingest(testing::taskInfo(document({"j"}, 2, 100)));
        QCOMPARE(ids(store->jobs()), (QStringList{"j", "k"}));
        const JobRecord& back = store->jobs().at(0);
        QCOMPARE(back.firstSeen, m_now);
        QCOMPARE(back.tasks.keys(), QStringList{"2|100"});

        store->saveNow();
        QCOMPARE(decodeDismissed(readAll(dismissedPath())), std::optional(store->dismissed()));
    }

    void removeOfAnUnknownIdDoesNothing() {
        const auto store = makeHistory();
        store->ingest(testing::taskInfo(document({"j"})));
        store->saveNow();
        QSignalSpy jobs(store.get(), &JobHistory::jobsChanged);
        store->remove("nope");
        QCOMPARE(jobs.count(), 0);
        QVERIFY(!store->hasPendingSave());
        QVERIFY(store->dismissed().isEmpty());
    }

    void clearDismissesEveryJob() {
        const auto store = makeHistory();
        store->ingest(testing::taskInfo(document({"j", "k"})));
        store->clear();
        QVERIFY(store->jobs().isEmpty());
        QCOMPARE(store->dismissed().keys(), (QStringList{"j", "k"}));
        QVERIFY(store->hasPendingSave());
        store->ingest(testing::taskInfo(document({"j", "k"}, 1, 100, 9)));
        QVERIFY(store->jobs().isEmpty());
    }

    void dismissalsArePrunedPastTheLimit() {
        DismissedPairs many;
        for (int i = 0; i < 500; ++i)
            many.insert(QStringLiteral("gone-%1").arg(i), {"1|1"});
        QVERIFY(writeAll(dismissedPath(), encodeDismissed(many)));
        const auto store = makeHistory();
        store->ingest(testing::taskInfo(document({"j", "k"})));
        store->remove("j");
        // 501 ids: only those of records still listed survive (j was, while dismissed).
        QCOMPARE(store->dismissed(), (DismissedPairs{{"j", {"1|100"}}}));
    }

    void historyKeepsTheNewest500() {
        QList<JobRecord> stored;
        for (int i = 0; i < 500; ++i) {
            JobRecord r = records({QStringLiteral("old-%1").arg(i)}).first();
            r.firstSeen = r.lastActive = t0.addSecs(-60 * (i + 1));
            stored.append(r);
        }
        QVERIFY(writeAll(historyPath(), encodeJobHistory(stored)));
        const auto store = makeHistory();
        QCOMPARE(store->jobs().size(), 500);

        store->ingest(testing::taskInfo(document({"new"})));
        QCOMPARE(store->jobs().size(), 500);
        QCOMPARE(store->jobs().first().id, QStringLiteral("new"));
        QCOMPARE(store->jobs().last().id, QStringLiteral("old-498"));
        QCOMPARE(store->model()->rowCount(), 500);
        store->saveNow();
        const auto saved = decodeJobHistory(readAll(historyPath()));
        QCOMPARE(saved->size(), 500);
        QVERIFY(!ids(*saved).contains("old-499"));
    }

    void savesCoalesceIntoOneWrite() {
        const auto store = makeHistory();
        QSignalSpy saved(store.get(), &JobHistory::saved);
        const qint64 delay = m_timing.jobHistorySaveDelay.count();
        QElapsedTimer clock;
        clock.start();
        store->ingest(testing::taskInfo(document({"a"})));
        QTest::qWait(int(delay / 3));
        store->ingest(testing::taskInfo(document({"b"}, 2)));
        QVERIFY(!QFile::exists(historyPath()));

        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, int(delay * 5));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= delay * 95 / 100, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < delay * 4 / 3, qPrintable(QString::number(elapsed))); // not restarted
        QCOMPARE(ids(decodeJobHistory(readAll(historyPath())).value()), (QStringList{"a", "b"}));
        QCOMPARE(readAll(dismissedPath()), QByteArray("{}"));

        QTest::qWait(int(delay));
        QCOMPARE(saved.count(), 1);
    }

    void saveNowAndDestruction() {
        auto store = makeHistory();
        QSignalSpy saved(store.get(), &JobHistory::saved);
        store->saveNow(); // nothing pending
        QCOMPARE(saved.count(), 0);
        store->ingest(testing::taskInfo(document({"a"})));
        store->saveNow();
        QCOMPARE(saved.count(), 1);
        QVERIFY(!store->hasPendingSave());
        QCOMPARE(ids(decodeJobHistory(readAll(historyPath())).value()), QStringList{"a"});

        // The dismissed file is written again only when the dismissals change.
        const auto inode = [this] {
            struct stat st {};
            return ::stat(QFile::encodeName(dismissedPath()).constData(), &st) == 0 ? st.st_ino : 0;
        };
        const auto dismissedInode = inode();
        store->ingest(testing::taskInfo(document({"a", "c"}, 2)));
        store->saveNow();
        QCOMPARE(inode(), dismissedInode);
        store->remove(QStringLiteral("c"));
        store->saveNow();
        QVERIFY(inode() != dismissedInode);
        QVERIFY(decodeDismissed(readAll(dismissedPath())).value().contains(QStringLiteral("c")));
        const QByteArray written = readAll(historyPath());

        // A save still waiting when the store goes away is dropped.
        store->ingest(testing::taskInfo(document({"b"}, 2)));
        store.reset();
        QTest::qWait(int(m_timing.jobHistorySaveDelay.count() * 3 / 2));
        QCOMPARE(readAll(historyPath()), written);
    }

    // The delayed save writes on the store's writer thread; a change made while that
    // write is in flight still reaches the file, and last.
    void changeDuringABackgroundWriteLandsLast() {
        const auto store = makeHistory();
        QSignalSpy saved(store.get(), &JobHistory::saved);
        store->ingest(testing::taskInfo(document({"a"})));
        QTRY_VERIFY_WITH_TIMEOUT(!store->hasPendingSave(),
                                 int(m_timing.jobHistorySaveDelay.count() * 5));
        store->ingest(
            testing::taskInfo(document({"b"}, 2))); // the first write may still be running
        store->saveNow();
        QCOMPARE(ids(decodeJobHistory(readAll(historyPath())).value()), (QStringList{"a", "b"}));
        QTRY_COMPARE(saved.count(), 2);
        QCOMPARE(ids(decodeJobHistory(readAll(historyPath())).value()), (QStringList{"a", "b"}));
    }

    void failedWriteKeepsTheOldFile_data() {
        QTest::addColumn<bool>("readOnlyDirectory");
        QTest::newRow("read-only directory") << true;
        QTest::newRow("file size limit") << false;
    }
    void failedWriteKeepsTheOldFile() {
        QFETCH(bool, readOnlyDirectory);
        const auto store = makeHistory();
        store->ingest(testing::taskInfo(document({"a"})));
        store->saveNow();
        const QByteArray before = readAll(historyPath());
        const QStringList files = QDir(m_dir->path()).entryList(QDir::Files);

        QStringList many;
        for (int i = 0; i < 50; ++i)
            many.append(QStringLiteral("job-%1").arg(i));
        store->ingest(testing::taskInfo(document(many, 7)));

        QSignalSpy saved(store.get(), &JobHistory::saved);
        if (readOnlyDirectory) {
            QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
            const bool writable = ::access(qPrintable(m_dir->path()), W_OK) == 0;
            if (writable) {
                QFile::setPermissions(m_dir->path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("this user may write into read-only directories (root)");
            }
            store->saveNow();
            QFile::setPermissions(m_dir->path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else {
            // Writes beyond 256 bytes fail midway, as on a full disk.
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit previous{};
            getrlimit(RLIMIT_FSIZE, &previous);
            rlimit limited = previous;
            limited.rlim_cur = 256;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            store->saveNow();
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        }
        QCOMPARE(saved.count(), 1);
        QVERIFY(!store->hasPendingSave());
        QCOMPARE(readAll(historyPath()), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), files); // no temporaries left
        QCOMPARE(store->jobs().size(), 51);
    }

    void modelFollowsTheHistory() {
        const auto store = makeHistory();
        JobListModel* model = store->model();
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy count(model, &JobListModel::countChanged);

        store->ingest(testing::taskInfo(document({"a"}, 1, 100, 2, 40)));
        m_now = t0.addSecs(1);
        store->ingest(
            testing::taskInfo(makeDocument({makeTask(1, 100, {{"a", 2, cpuMetrics(60)}}),
                                            makeTask(2, 100, {{"b", 1, cpuMetrics(10)}})})));
        QCOMPARE(modelIds(*model), (QStringList{"b", "a"}));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 0); // the newer job goes on top
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(model->index(1).data(JobListModel::TitleRole).toString(), QStringLiteral("a"));
        // The CPU measured here, updated in place.
        QCOMPARE(model->index(1)
                     .data(JobListModel::CellsRole)
                     .toList()
                     .value(1)
                     .value<JobCardCell>()
                     .text,
                 jobs_screen::secondsText(60.0));

        store->ingest(testing::taskInfo(
            {{"workerProcess",
              QJsonObject{{"budget", QJsonObject{{"jobs", QJsonObject{{"a", QJsonObject{}}}}}},
                          {"sandboxReuse", QJsonObject{{"b", QJsonObject{{"fresh", 2}}}}}}}}));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.at(2).at(2).value<QList<int>>(),
                 (QList<int>{JobListModel::ReuseLineRole, JobListModel::BudgetLineRole}));
        QCOMPARE(model->index(0).data(JobListModel::ReuseLineRole).toString(),
                 jobs_screen::reuseLine(SandboxReuse{2, 0, 0, std::nullopt}).value_or(QString()));
        QCOMPARE(model->index(1).data(JobListModel::BudgetLineRole).toString(),
                 jobs_screen::budgetLine(BudgetJobStats{}).value_or(QString()));
        QVERIFY(model->index(0).data(JobListModel::BudgetLineRole).toString().isEmpty());

        store->remove("a");
        QCOMPARE(removed.count(), 1);
        store->clear();
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(count.count(), 4);
    }

    void modelAppliesMinimalChanges_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("resets");
        QTest::newRow("insert on top")
            << QStringList{"a", "b"} << QStringList{"n", "a", "b"} << false;
        QTest::newRow("insert in runs")
            << QStringList{"a", "b"} << QStringList{"a", "x", "y", "b", "z"} << false;
        QTest::newRow("remove in runs")
            << QStringList{"a", "b", "c", "d", "e"} << QStringList{"b", "e"} << false;
        QTest::newRow("mixed") << QStringList{"a", "b", "c"} << QStringList{"n", "a", "c", "m"}
                               << false;
        QTest::newRow("from empty") << QStringList{} << QStringList{"a", "b"} << false;
        QTest::newRow("to empty") << QStringList{"a", "b"} << QStringList{} << false;
        QTest::newRow("reordered")
            << QStringList{"a", "b", "c"} << QStringList{"c", "a", "b"} << true;
    }
    void modelAppliesMinimalChanges() {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(bool, resets);
        JobListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setJobs(records(before));
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setJobs(records(after, 1));
        QCOMPARE(modelIds(model), after);
        QCOMPARE(reset.count(), resets ? 1 : 0);
        if (!resets) {
            int kept = 0;
            for (const QString& id : after)
                kept += before.contains(id) ? 1 : 0;
            QCOMPARE(changed.count(), kept);
        }
        QVERIFY(model.jobs() == records(after, 1));
    }
};

QTEST_GUILESS_MAIN(TestJobHistory)
#include "test_job_history.moc"
