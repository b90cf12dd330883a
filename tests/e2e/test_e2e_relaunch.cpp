// A worker service that dies as soon as it starts: the program relaunches it every
// 2 s, round after round, without growing.

#include "e2e/app_harness.h"

#include <QTest>

using namespace e2e;

namespace {

// Least-squares slope of ys over 0, 1, 2, ...
double slope(const QList<double>& ys) {
    const double n = double(ys.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (qsizetype i = 0; i < ys.size(); ++i) {
        sx += double(i);
        sy += ys[i];
        sxx += double(i) * double(i);
        sxy += double(i) * ys[i];
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

} // namespace

class TestE2ERelaunch : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;

private slots:
    void initTestCase() { requireProgramAndBus(m_bus); }

    void serviceExitingAtOnceIsRelaunchedEveryTwoSeconds() {
        // Enough rounds to see a trend in the time a test may take; the delay is the
        // real 2 s, the program has no way to shorten it from outside.
        const int rounds = qEnvironmentVariableIntValue("VXR_E2E_RELAUNCH_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("VXR_E2E_RELAUNCH_ROUNDS")
                               : 7;
        AppHarness app;
        app.setEnv(QStringLiteral("VXR_SIM_EXIT_AT_ONCE"), QStringLiteral("worker"));
        QVERIFY(app.start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);

        // One RSS sample per start, taken as the start is seen (polled every 50 ms).
        QList<double> rssMiB;
        QList<qint64> seenAt;
        QElapsedTimer clock;
        clock.start();
        while (rssMiB.size() < rounds && clock.elapsed() < rounds * 3000 + 10000) {
            QTest::qWait(50);
            const QList<Invocation> services = app.services();
            while (rssMiB.size() < services.size()) {
                rssMiB.append(double(rssKiB(app.pid())) / 1024.0);
                seenAt.append(services[rssMiB.size() - 1].seenAtMs);
            }
            QVERIFY2(app.running(), app.output().right(2000).constData());
        }
        QCOMPARE(rssMiB.size(), rounds);

        for (qsizetype i = 1; i < seenAt.size(); ++i) {
            const qint64 gap = seenAt[i] - seenAt[i - 1];
            QVERIFY2(gap >= 1900 && gap <= 3500,
                     qPrintable(
                         QStringLiteral("round %1 came %2 ms after the previous").arg(i).arg(gap)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            linesWith(app.output(), "worker service exited unexpectedly (status 3)").size() >=
                rounds - 1,
            3000);

        // The first rounds still warm up allocator arenas and lazily built state.
        const QList<double> steady = rssMiB.mid(2);
        const double perRound = slope(steady);
        qInfo("RSS per start (MiB): %s; slope after warm-up %.3f MiB/round", qPrintable([&] {
                  QStringList s;
                  for (double v : rssMiB)
                      s << QString::number(v, 'f', 1);
                  return s.join(u' ');
              }()),
              perRound);
#ifndef __SANITIZE_ADDRESS__ // the sanitizer holds freed memory back on purpose; LSan watches leaks
        QVERIFY2(perRound < 0.5,
                 qPrintable(QStringLiteral("RSS grows %1 MiB per relaunch").arg(perRound)));
        QVERIFY(steady.last() - steady.first() < 4.0);
#endif

        // Still answering, and still relaunching, after all the rounds.
        QVERIFY(m_bus.action(QStringLiteral("show")));
        app.endEverything();
    }
};

QTEST_GUILESS_MAIN(TestE2ERelaunch)
#include "test_e2e_relaunch.moc"
