#include "jobs/jobs_screen_logic.h"

#include <QTest>

#include <vector>

using namespace vxr;
using namespace vxr::jobs_screen;

namespace {

const QString dash = QStringLiteral("–");

// A job whose one task did `slices` slices at the given per-slice figures.
JobRecord jobWith(double slices, double cpuMs, double gpuMs = 0) {
    JobRecord job;
    job.id = QStringLiteral("0123456789abcdef");
    TaskSnapshot task;
    task.slicesDone = slices;
    task.cpu = cpuMs;
    task.gpu = gpuMs;
    task.inBytes = 1500;
    task.outBytes = 2'500'000;
    job.tasks.insert(QStringLiteral("s|1"), task);
    return job;
}

QStringList labels(const QList<GridRow>& rows) {
    QStringList result;
    for (const GridRow& row : rows)
        result << row.label;
    return result;
}

} // namespace

class TestJobsScreenLogic : public QObject {
    Q_OBJECT

private slots:
    void secondsFormat_data() {
        QTest::addColumn<std::optional<double>>("ms");
        QTest::addColumn<QString>("expected");
        QTest::newRow("from 10 s whole seconds") << std::optional<double>(12345) << "12 s";
        QTest::newRow("exactly 10 s") << std::optional<double>(10000) << "10 s";
        QTest::newRow("below 10 s two decimals") << std::optional<double>(2346) << "2.35 s";
        QTest::newRow("just below 10 s") << std::optional<double>(9999) << "10.00 s";
        QTest::newRow("zero") << std::optional<double>(0) << dash;
        QTest::newRow("negative") << std::optional<double>(-5) << dash;
        QTest::newRow("absent") << std::optional<double>() << dash;
    }
    void secondsFormat() {
        QFETCH(std::optional<double>, ms);
        QFETCH(QString, expected);
        QCOMPARE(secondsText(ms), expected);
    }

    void bytesFormats_data() {
        QTest::addColumn<std::optional<double>>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bytes") << std::optional<double>(999) << "999 B";
        QTest::newRow("fraction truncated") << std::optional<double>(999.9) << "999 B";
        QTest::newRow("kilo") << std::optional<double>(1500) << "1.5 KB";
        QTest::newRow("1000 is 1.0 KB") << std::optional<double>(1000) << "1.0 KB";
        QTest::newRow("mega") << std::optional<double>(2'500'000) << "2.5 MB";
        QTest::newRow("giga") << std::optional<double>(3'200'000'000.0) << "3.20 GB";
        QTest::newRow("a tie rounds as printf") << std::optional<double>(1250) << "1.2 KB";
        QTest::newRow("zero") << std::optional<double>(0) << dash;
        QTest::newRow("absent") << std::optional<double>() << dash;
    }
    void bytesFormats() {
        QFETCH(std::optional<double>, bytes);
        QFETCH(QString, expected);
        QCOMPARE(bytesText(bytes), expected);
    }

    void sizeAndWholeNumbers() {
        QCOMPARE(sizeText(950'000'000), QStringLiteral("950 MB"));
        QCOMPARE(sizeText(1'500'000'000), QStringLiteral("1.50 GB"));
        QCOMPARE(sizeText(0), QStringLiteral("0 MB"));
        QCOMPARE(wholeNumberText(3.99), QStringLiteral("3"));
        QCOMPARE(wholeNumberText(-0.5), QStringLiteral("0"));
        // Far beyond any integer type: still printed, never undefined behaviour.
        QCOMPARE(wholeNumberText(1e20), QStringLiteral("100000000000000000000"));
    }

    void timeRange() {
        const QTimeZone zone("Europe/Berlin");
        QVERIFY(zone.isValid());
        const QLocale c = QLocale::c();
        // 09:05 and 17:40 Berlin time (UTC+1 in December).
        const QDateTime first(QDate(2026, 12, 3), QTime(8, 5), Qt::UTC);
        const QDateTime sameDay(QDate(2026, 12, 3), QTime(16, 40), Qt::UTC);
        QCOMPARE(timeRangeText(first, sameDay, zone, c), QStringLiteral("Dec 3 09:05 – 17:40"));
        const QDateTime nextDay(QDate(2026, 12, 4), QTime(16, 40), Qt::UTC);
        QCOMPARE(timeRangeText(first, nextDay, zone, c),
                 QStringLiteral("Dec 3 09:05 – Dec 4 17:40"));
        // 23:30 UTC is already the next day in Berlin: the day is the user's, not UTC's.
        const QDateTime lateUtc(QDate(2026, 12, 3), QTime(23, 30), Qt::UTC);
        QCOMPARE(timeRangeText(first, lateUtc, zone, c),
                 QStringLiteral("Dec 3 09:05 – Dec 4 00:30"));
    }

    void titleAndSubtitle() {
        JobRecord job = jobWith(0, 0);
        QCOMPARE(jobTitle(job), QStringLiteral("0123456789"));
        QCOMPARE(jobSubtitle(job), QStringLiteral("0123456789 · 0 slices"));

        job = jobWith(41.7, 100);
        job.name = QStringLiteral("Render frames");
        job.computeGroup = QStringLiteral("public");
        QCOMPARE(jobTitle(job), QStringLiteral("Render frames"));
        QCOMPARE(jobSubtitle(job), QStringLiteral("0123456789 · public · 41 slices"));
    }

    void jobWithoutSlicesShowsDashes() {
        const JobRecord job = jobWith(0, 0);
        const QList<GridRow> rows = comparisonRows(job);
        QCOMPARE(labels(rows), (QStringList{"CPU", "IN", "OUT", "RAM"}));
        for (const GridRow& row : rows) {
            QCOMPARE(row.measured, dash);
            QCOMPARE(row.estimate, dash);
        }
        QVERIFY(!showsBreakdown(job));
    }

    void comparisonGrid() {
        JobRecord job = jobWith(4, 12345);
        job.tasks.first().ram = 40e6;
        job.tasks.first().ramSlices = 4;
        job.tasks.first().ramMax = 55e6;
        job.estimate = Estimate{2346, std::nullopt, 1000, std::nullopt, 3.2e9, std::nullopt};

        QList<GridRow> rows = comparisonRows(job);
        QCOMPARE(labels(rows), (QStringList{"CPU", "IN", "OUT", "RAM"}));
        QCOMPARE(rows[0], (GridRow{"CPU", "12 s", "2.35 s", false}));
        QCOMPARE(rows[1], (GridRow{"IN", "1.5 KB", "1.0 KB", false}));
        QCOMPARE(rows[2], (GridRow{"OUT", "2.5 MB", dash, false}));
        QCOMPARE(rows[3], (GridRow{"RAM", "40.0 MB · 55.0 MB", "3.20 GB", true}));

        // The network expects GPU time and GPU memory although none was measured here.
        job.estimate->gpu = 500;
        job.estimate->gpuMem = 2e9;
        rows = comparisonRows(job);
        QCOMPARE(labels(rows), (QStringList{"CPU", "GPU", "IN", "OUT", "RAM", "GPU MEM"}));
        QCOMPARE(rows[1], (GridRow{"GPU", dash, "0.50 s", false}));
        QCOMPARE(rows[5], (GridRow{"GPU MEM", dash, "2.00 GB", true}));

        // Measured GPU time alone also shows the row.
        job = jobWith(2, 100, 300);
        QCOMPARE(labels(comparisonRows(job)), (QStringList{"CPU", "GPU", "IN", "OUT", "RAM"}));
    }

    void breakdownSpike() {
        const RAMBreakdown breakdown{40e6, 10e6, 0, 5e6, 3};
        QList<BreakdownPart> parts = breakdownParts(breakdown, 60e6);
        QCOMPARE(parts.size(), 4);
        QCOMPARE(parts[0], (BreakdownPart{"Heap", 40e6, PartColor::accentLight}));
        QCOMPARE(parts[1], (BreakdownPart{"Buffers", 10e6, PartColor::accent}));
        QCOMPARE(parts[2], (BreakdownPart{"Other", 5e6, PartColor::textDim}));
        QCOMPARE(parts[3].name, QStringLiteral("Spike"));
        QCOMPARE(parts[3].bytes, 5e6);

        parts = breakdownParts(breakdown, 50e6);
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.last().name, QStringLiteral("Other"));

        // The bar's total is the larger of the peak and the measured sum.
        const QList<double> widths = breakdownBarWidths(breakdownParts(breakdown, 60e6), 120);
        QCOMPARE(widths, (QList<double>{80, 20, 10, 10}));
        // A sliver never vanishes; an empty breakdown divides by 1, not 0.
        const QList<double> sliver = breakdownBarWidths(
            {{"Heap", 1e9, PartColor::accentLight}, {"Wasm", 1, PartColor::value}}, 100);
        QCOMPARE(sliver.size(), 2);
        QCOMPARE(sliver[1], 1.0);
        QCOMPARE(breakdownBarWidths({}, 100), QList<double>{});
    }

    void breakdownShownOnlyWithSlicesAndRam() {
        JobRecord job = jobWith(3, 100);
        job.ramBreakdown = RAMBreakdown{1e6, 0, 0, 0, 2};
        QVERIFY(!showsBreakdown(job)); // no RAM figure
        job.tasks.first().ram = 2e6;
        job.tasks.first().ramSlices = 3;
        QVERIFY(showsBreakdown(job));
        job.ramBreakdown->slices = 0;
        QVERIFY(!showsBreakdown(job));
    }

    void reuseAndBudgetLines() {
        QCOMPARE(reuseLine(std::nullopt), std::nullopt);
        QCOMPARE(reuseLine(SandboxReuse{0, 0, 3, 1200}), std::nullopt);
        QCOMPARE(reuseLine(SandboxReuse{2, 7.9, 0, std::nullopt}),
                 QStringLiteral("SANDBOXES  7 warm · 2 fresh"));
        QCOMPARE(reuseLine(SandboxReuse{2, 7, 1, 1240}),
                 QStringLiteral("SANDBOXES  7 warm · 2 fresh · 1 warm lost with slices waiting"
                                " · warm saves 1.2 s"));

        QCOMPARE(budgetLine(std::nullopt), std::nullopt);
        BudgetJobStats budget;
        QCOMPARE(budgetLine(budget), QStringLiteral("BUDGET  "));
        budget.fresh = {3, 99, 4e6, 120e6};
        QCOMPARE(budgetLine(budget),
                 QStringLiteral("BUDGET  new sandbox 120.0 MB (3 slices, ±4.0 MB)"));
        budget.reused = {12, 99, 0, std::nullopt};
        QCOMPARE(budgetLine(budget),
                 QStringLiteral("BUDGET  new sandbox 120.0 MB (3 slices, ±4.0 MB)"
                                " · reused – (12 slices, ±–)"));
    }

    void workerProcessCard() {
        WorkerProcessMemory process;
        process.rss = 950e6;
        process.peakRss = 1.5e9;
        process.heapUsed = 80e6;
        process.heapLimit = 4.2e9;
        QCOMPARE(workerProcessRows(process), (QList<ProcessRow>{{"Memory", "950 MB · peak 1.50 GB"},
                                                                {"JS heap", "80 MB of 4.20 GB"}}));
        process.limit = 6e9;
        process.reserve = 300e6;
        const QList<ProcessRow> rows = workerProcessRows(process);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[2], (ProcessRow{"Budget now", "6.00 GB"}));
        QCOMPARE(rows[3], (ProcessRow{"Slices running", "0 MB expected"}));
        QCOMPARE(rows[4], (ProcessRow{"Worker reserve", "300 MB"}));
    }

    void clearAllNeedsTwoPresses() {
        bool confirming = false;
        QCOMPARE(clearAllLabel(confirming), QStringLiteral("Clear all"));
        QVERIFY(!clearAllPressClears(confirming));
        confirming = !confirming;
        QCOMPARE(clearAllLabel(confirming), QStringLiteral("Really clear all?"));
        QVERIFY(clearAllPressClears(confirming));
    }

    void wrappingStack_data() {
        QTest::addColumn<QList<QSizeF>>("sizes");
        QTest::addColumn<double>("width");
        QTest::addColumn<QList<QPointF>>("positions");
        QTest::addColumn<QSizeF>("size");

        QTest::newRow("one line") << QList<QSizeF>{{30, 10}, {40, 12}} << 100.0
                                  << QList<QPointF>{{0, 0}, {40, 0}} << QSizeF(80, 12);
        // 0+30+10 = 40; 40+60 = 100 fits exactly; the next one does not.
        QTest::newRow("wraps after the tallest of the line")
            << QList<QSizeF>{{30, 10}, {60, 14}, {20, 8}} << 100.0
            << QList<QPointF>{{0, 0}, {40, 0}, {0, 18}} << QSizeF(100, 26);
        QTest::newRow("too wide stays alone, unshrunk")
            << QList<QSizeF>{{20, 10}, {150, 10}, {20, 10}} << 100.0
            << QList<QPointF>{{0, 0}, {0, 14}, {0, 28}} << QSizeF(100, 38);
        QTest::newRow("too wide first")
            << QList<QSizeF>{{150, 10}} << 100.0 << QList<QPointF>{{0, 0}} << QSizeF(100, 10);
        QTest::newRow("empty") << QList<QSizeF>{} << 100.0 << QList<QPointF>{} << QSizeF(0, 0);
        // The legend's Repeater is a 0x0 child; it must not open an empty line.
        QTest::newRow("zero-size child passed over")
            << QList<QSizeF>{{45, 10}, {0, 0}, {45, 10}, {0, 12}} << 100.0
            << QList<QPointF>{{0, 0}, {0, 0}, {55, 0}, {0, 0}} << QSizeF(100, 10);
    }
    void wrappingStack() {
        QFETCH(QList<QSizeF>, sizes);
        QFETCH(double, width);
        QFETCH(QList<QPointF>, positions);
        QFETCH(QSizeF, size);
        const WrappingLayout layout = wrappingStackLayout(sizes, width, 10, 4);
        QCOMPARE(layout.positions, positions);
        QCOMPARE(layout.size, size);
    }

    void wrappingStackWithoutWidthIsOneLine() {
        const std::vector<QSizeF> sizes{{300, 10}, {300, 20}};
        const WrappingLayout layout = wrappingStackLayout(sizes, std::nullopt, 10, 4);
        QCOMPARE(layout.positions, (QList<QPointF>{{0, 0}, {310, 0}}));
        QCOMPARE(layout.size, QSizeF(610, 20));
    }
};

QTEST_GUILESS_MAIN(TestJobsScreenLogic)
#include "test_jobs_screen_logic.moc"
