// A job card as the list model hands it to the screen: the texts the rules compute
// from the record, with the worker process's figures for that job.

#include "jobs/job_card.h"
#include "jobs/job_list_model.h"
#include "jobs/jobs_screen_logic.h"

#include <QTest>

using namespace vxr;

class TestJobCard : public QObject {
    Q_OBJECT

    static QVariant role(const JobListModel& model, JobListModel::Role role) {
        return model.data(model.index(0), role);
    }
    template <typename T> static QList<T> gadgets(const QVariant& list) {
        QList<T> values;
        for (const QVariant& value : list.toList())
            values.append(value.value<T>());
        return values;
    }

private slots:
    void cardFromTheRecordAndTheWorkerProcess() {
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
        QCOMPARE(role(model, JobListModel::ReuseLineRole).toString(), QString());
        model.setWorkerProcess(process); // a cached card must not outlive its figures

        QCOMPARE(role(model, JobListModel::JobIdRole).toString(), job.id);
        QCOMPARE(role(model, JobListModel::TitleRole).toString(), jobs_screen::jobTitle(job));
        QCOMPARE(role(model, JobListModel::SubtitleRole).toString(),
                 QStringLiteral("abcdef0123 · lab · 4 slices"));
        QList<JobCardCell> expected;
        for (const jobs_screen::GridRow& row : jobs_screen::comparisonRows(job)) {
            expected.append({row.label, JobCardCell::Label, row.memory,
                             row.label + ": " + row.measured + " on this computer, " +
                                 row.estimate + " estimated"});
            expected.append({row.measured, JobCardCell::Measured, row.memory, row.measured});
            expected.append({row.estimate, JobCardCell::Estimate, row.memory, row.estimate});
        }
        QCOMPARE(gadgets<JobCardCell>(role(model, JobListModel::CellsRole)), expected);

        QVERIFY(role(model, JobListModel::ShowBreakdownRole).toBool());
        QStringList parts;
        for (const JobCardPart& part : gadgets<JobCardPart>(role(model, JobListModel::PartsRole)))
            parts << part.name + QLatin1Char(' ') + part.value;
        QCOMPARE(parts, (QStringList{"Heap 40.0 MB", "Buffers 5.0 MB", "Wasm 1.0 MB",
                                     "Other 1.0 MB", "Spike 3.0 MB"}));
        QCOMPARE(role(model, JobListModel::ReuseLineRole).toString(),
                 QStringLiteral("SANDBOXES  3 warm · 1 fresh · warm saves 0.8 s"));
        QCOMPARE(role(model, JobListModel::BudgetLineRole).toString(),
                 QStringLiteral("BUDGET  new sandbox 60.0 MB (2 slices, ±3.0 MB)"));
    }

    void cardWithoutWorkerFigures() {
        JobRecord job;
        job.id = QStringLiteral("0123456789abcdef");
        job.name = QStringLiteral("Hashing");
        JobListModel model;
        model.setJobs({job});
        QCOMPARE(role(model, JobListModel::TitleRole).toString(), QStringLiteral("Hashing"));
        QVERIFY(!role(model, JobListModel::ShowBreakdownRole).toBool());
        QVERIFY(gadgets<JobCardPart>(role(model, JobListModel::PartsRole)).isEmpty());
        QCOMPARE(role(model, JobListModel::BudgetLineRole).toString(), QString());
    }
};

QTEST_GUILESS_MAIN(TestJobCard)
#include "test_job_card.moc"
