// The jobs screen's QML bridge reads the job list model's roles: the same texts as the
// rules computed from the record itself.

#include "app/jobs_text.h"
#include "jobs/job_list_model.h"
#include "jobs/jobs_screen_logic.h"

#include <QTest>

using namespace vxr;

class TestJobsText : public QObject {
    Q_OBJECT

    static QVariantMap roles(const JobListModel& model, int row) {
        QVariantMap map;
        const QHash<int, QByteArray> names = model.roleNames();
        for (auto it = names.begin(); it != names.end(); ++it)
            map.insert(QString::fromLatin1(it.value()), model.data(model.index(row), it.key()));
        return map;
    }

private slots:
    void cardFromModelRoles() {
        JobRecord job;
        job.id = QStringLiteral("abcdef0123456789");
        job.computeGroup = QStringLiteral("lab");
        job.firstSeen = QDateTime(QDate(2026, 12, 3), QTime(9, 5));
        job.lastActive = QDateTime(QDate(2026, 12, 3), QTime(17, 40));
        TaskSnapshot task;
        task.slicesDone = 4;
        task.cpu = 12345;
        task.inBytes = 1500;
        task.ram = 50e6;
        task.ramSlices = 4;
        task.ramMax = 70e6;
        task.gpuMem = 2e8;
        task.gpuMemSlices = 4;
        job.tasks.insert(QStringLiteral("1|2"), task);
        job.estimate = Estimate{10000, 400, 1000, 10, 64e6, std::nullopt};
        job.ramBreakdown = RAMBreakdown{40e6, 5e6, 1e6, 1e6, 4};

        WorkerProcessMemory process;
        BudgetJobStats budget;
        budget.fresh = {2, 1, 3e6, 60e6};
        process.jobs.insert(job.id, budget);
        process.reuse.insert(job.id, SandboxReuse{1, 3, 0, 800});

        JobListModel model;
        model.setJobs({job});
        model.setWorkerProcess(process);
        const QVariantMap card = JobsText::card(roles(model, 0));

        QCOMPARE(card.value("title").toString(), jobs_screen::jobTitle(job));
        QCOMPARE(card.value("subtitle").toString(), QStringLiteral("abcdef0123 · lab · 4 slices"));
        QStringList measured;
        QStringList estimates;
        for (const QVariant& row : card.value("rows").toList()) {
            measured << row.toMap().value("measured").toString();
            estimates << row.toMap().value("estimate").toString();
        }
        QStringList expectedMeasured;
        QStringList expectedEstimates;
        for (const jobs_screen::GridRow& row : jobs_screen::comparisonRows(job)) {
            expectedMeasured << row.measured;
            expectedEstimates << row.estimate;
        }
        QCOMPARE(measured, expectedMeasured);
        QCOMPARE(estimates, expectedEstimates);
        QCOMPARE(card.value("cells").toList().size(), 3 * expectedMeasured.size());

        QVERIFY(card.value("showBreakdown").toBool());
        QStringList parts;
        for (const QVariant& part : card.value("parts").toList())
            parts << part.toMap().value("name").toString() + QLatin1Char(' ') +
                         part.toMap().value("value").toString();
        QCOMPARE(parts, (QStringList{"Heap 40.0 MB", "Buffers 5.0 MB", "Wasm 1.0 MB",
                                     "Other 1.0 MB", "Spike 3.0 MB"}));
        QCOMPARE(card.value("reuseLine").toString(),
                 QStringLiteral("SANDBOXES  3 warm · 1 fresh · warm saves 0.8 s"));
        QCOMPARE(card.value("budgetLine").toString(),
                 QStringLiteral("BUDGET  new sandbox 60.0 MB (2 slices, ±3.0 MB)"));
    }

    void cardWithoutWorkerFigures() {
        JobRecord job;
        job.id = QStringLiteral("0123456789abcdef");
        job.name = QStringLiteral("Hashing");
        JobListModel model;
        model.setJobs({job});
        const QVariantMap card = JobsText::card(roles(model, 0));
        QCOMPARE(card.value("title").toString(), QStringLiteral("Hashing"));
        QVERIFY(!card.value("showBreakdown").toBool());
        QCOMPARE(card.value("reuseLine").toString(), QString());
        QCOMPARE(card.value("budgetLine").toString(), QString());
    }
};

QTEST_GUILESS_MAIN(TestJobsText)
#include "test_jobs_text.moc"
