#include "metrics/metrics_screen_logic.h"

#include <QTest>

#include <vector>

using namespace vxr::metrics_screen;

class TestMetricsScreenLogic : public QObject {
    Q_OBJECT

private slots:
    void statsOfEmptyAndFilledHistories() {
        QCOMPARE(rowStats({}), RowStats{});
        QCOMPARE(percentText(rowStats({}).peak), QStringLiteral("0%"));
        QCOMPARE(gigabytesText(rowStats({}).now), QStringLiteral("0.00 GB"));

        const std::vector<double> samples{10, 70, 40};
        QCOMPARE(rowStats(samples), (RowStats{40, 40, 70}));
        QCOMPARE(percentText(37.4), QStringLiteral("37%"));
        QCOMPARE(gigabytesText(2), QStringLiteral("2.00 GB"));
    }

    void ramCapFloorAndHeadroom() {
        QCOMPARE(ramCap({}), 0.5);
        const std::vector<double> small{0.2, 0.3};
        QCOMPARE(ramCap(small), 0.5);
        const std::vector<double> large{1.0, 2.0, 1.5};
        QCOMPARE(ramCap(large), 2.5);
    }

    void formatBytes_data() {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("999") << 999.0 << "999 B";
        QTest::newRow("999.9 truncated") << 999.9 << "999 B";
        QTest::newRow("0") << 0.0 << "0 B";
        QTest::newRow("1000") << 1000.0 << "1.0 KB";
        QTest::newRow("1.5 M") << 1'500'000.0 << "1.5 MB";
        QTest::newRow("2 G") << 2'000'000'000.0 << "2.00 GB";
        // A tie rounds as printf's "%.1f" does, not away from zero.
        QTest::newRow("1250, a tie") << 1250.0 << "1.2 KB";
    }
    void formatBytes() {
        QFETCH(double, bytes);
        QFETCH(QString, expected);
        QCOMPARE(vxr::metrics_screen::formatBytes(bytes), expected);
    }

    void sparklineWithoutEnoughSamplesHasGridOnly() {
        const std::vector<double> one{50};
        for (const auto& samples : {std::vector<double>{}, one}) {
            const SparklineGeometry g = sparklineGeometry(samples, 100, QSizeF(200, 64));
            QCOMPARE(g.gridLines, (QList<double>{16, 32, 48}));
            QVERIFY(g.line.isEmpty());
            QVERIFY(g.newestDot.isEmpty());
        }
    }

    void sparklinePoints() {
        // 0 lies 4 % above the bottom, the cap 4 % below the top, half-way in the middle.
        const std::vector<double> samples{0, 100, 50};
        const SparklineGeometry g = sparklineGeometry(samples, 100, QSizeF(200, 100));
        QCOMPARE(g.line.size(), 3);
        QCOMPARE(g.line[0], QPointF(0, 96));
        QCOMPARE(g.line[1], QPointF(100, 4));
        QCOMPARE(g.line[2], QPointF(200, 50));
        QCOMPARE(g.newestDot, QRectF(200 - 4.1, 50 - 2.6, 5.2, 5.2));

        // Values above the cap are not clamped.
        const std::vector<double> over{0, 200};
        QCOMPARE(sparklineGeometry(over, 100, QSizeF(10, 100)).line[1].y(), 96 - 184.0);
    }
};

QTEST_GUILESS_MAIN(TestMetricsScreenLogic)
#include "test_metrics_screen_logic.moc"
