#include "worker_interface/throttle_schedule.h"

#include <QTest>

using namespace vxr;

namespace {
// 96 digits: `fill` everywhere, `digit` in the slots [from, to) (quarter hours).
QString digits(QChar fill, QChar digit = u'0', int from = 0, int to = 0) {
    QString text(96, fill);
    for (int i = from; i < to; ++i)
        text[i] = digit;
    return text;
}

QString output(const QString& schedule, const QString& zone = {}) {
    QString text = QStringLiteral("worker config\n  schedule: '%1'\n").arg(schedule);
    if (!zone.isNull())
        text += QStringLiteral("  timezone: '%1'\n").arg(zone);
    return text;
}

QDateTime utc(int hour, int minute, int day = 15, int month = 1) {
    return QDateTime(QDate(2026, month, day), QTime(hour, minute), QTimeZone::utc());
}
} // namespace

class TestThrottleSchedule : public QObject {
    Q_OBJECT
private slots:
    void parsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("96 digits") << output(digits(u'0')) << true;
        QTest::newRow("95 digits") << output(digits(u'0').left(95)) << false;
        QTest::newRow("97 digits") << output(digits(u'0') + u'0') << false;
        QTest::newRow("no white space after the colon")
            << QStringLiteral("schedule:'%1'").arg(digits(u'7')) << true;
        QTest::newRow("not hexadecimal") << output(digits(u'0', u'g', 5, 6)) << false;
        QTest::newRow("no schedule") << QStringLiteral("timezone: 'UTC'") << false;
    }
    void parsing() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(ThrottleSchedule::parse(text).has_value(), valid);
    }

    void digitsAboveNineMeanUnthrottled() {
        QString text = digits(u'f');
        text[0] = u'A';
        text[1] = u'9';
        text[2] = u'3';
        const auto schedule = ThrottleSchedule::parse(output(text, QStringLiteral("UTC")));
        QVERIFY(schedule);
        QCOMPARE(schedule->rates[0], 10);
        QCOMPARE(schedule->rates[1], 9);
        QCOMPARE(schedule->rates[2], 3);
        QCOMPARE(schedule->rates[95], 10);
        const auto allF = ThrottleSchedule::parse(output(digits(u'f')));
        for (int hour = 0; hour < 24; ++hour)
            QVERIFY(!allF->notice(utc(hour, 7)));
    }

    void zones_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QByteArray>("zoneId");
        // The test runs with TZ=Asia/Tokyo, so "local time" is visibly the system zone.
        QTest::newRow("utc in lower case") << "utc"
                                           << "UTC" << QByteArray("UTC");
        QTest::newRow("Utc") << "Utc"
                             << "UTC" << QByteArray("UTC");
        QTest::newRow("known identifier") << "Europe/Paris"
                                          << "Europe/Paris" << QByteArray("Europe/Paris");
        QTest::newRow("unknown identifier") << "Mars/Olympus"
                                            << "local time" << QTimeZone::systemTimeZoneId();
        QTest::newRow("no zone") << QString() << "local time" << QTimeZone::systemTimeZoneId();
    }
    void zones() {
        QFETCH(QString, zone);
        QFETCH(QString, label);
        QFETCH(QByteArray, zoneId);
        const auto schedule = ThrottleSchedule::parse(output(digits(u'a'), zone));
        QVERIFY(schedule);
        QCOMPARE(schedule->zoneLabel, label);
        QCOMPARE(schedule->timeZone.id(), zoneId);
    }

    void notices_data() {
        QTest::addColumn<QString>("schedule");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("notice"); // null: not throttled

        const QString night = digits(u'a', u'0', 88, 96).replace(0, 24, QString(24, u'0'));
        QTest::newRow("run across midnight, later start first")
            << night << "UTC" << utc(23, 10)
            << "This worker is throttled: no computing between 22:00 and 06:00 UTC.";
        QTest::newRow("same run seen from the morning side")
            << night << "UTC" << utc(5, 59)
            << "This worker is throttled: no computing between 22:00 and 06:00 UTC.";
        QTest::newRow("outside the run") << night << "UTC" << utc(6, 0) << QString();
        QTest::newRow("partial rate, local time")
            << digits(u'a', u'5', 36, 70) << QString()
            << QDateTime(QDate(2026, 1, 15), QTime(12, 0), QTimeZone::systemTimeZone())
            << "This worker is throttled: running at 50% between 09:00 and 17:30 local time.";
        QTest::newRow("all but one slot: ends where the odd slot starts")
            << digits(u'3', u'a', 40, 41) << "UTC" << utc(12, 0)
            << "This worker is throttled: running at 30% between 10:15 and 10:00 UTC.";
        QTest::newRow("14:59 is slot 59")
            << digits(u'a', u'2', 59, 60) << "UTC" << utc(14, 59)
            << "This worker is throttled: running at 20% between 14:45 and 15:00 UTC.";
        QTest::newRow("15:00 is past slot 59")
            << digits(u'a', u'2', 59, 60) << "UTC" << utc(15, 0) << QString();
        QTest::newRow("run ending at midnight prints 00:00")
            << digits(u'a', u'0', 88, 96) << "UTC" << utc(23, 0)
            << "This worker is throttled: no computing between 22:00 and 00:00 UTC.";
        QTest::newRow("96 zeros") << digits(u'0') << "UTC" << utc(3, 0)
                                  << "This worker is throttled: no computing all day.";
        QTest::newRow("Paris clock in winter")
            << digits(u'a', u'0', 36, 40) << "Europe/Paris" << utc(8, 30)
            << "This worker is throttled: no computing between 09:00 and 10:00 Europe/Paris.";
        QTest::newRow("Paris clock in summer")
            << digits(u'a', u'0', 36, 40) << "Europe/Paris" << utc(8, 30, 15, 7) << QString();
        QTest::newRow("unknown zone counts in the system zone (Tokyo)")
            << digits(u'a', u'0', 36, 40) << "Nowhere/Special" << utc(0, 30)
            << "This worker is throttled: no computing between 09:00 and 10:00 local time.";
    }
    void notices() {
        QFETCH(QString, schedule);
        QFETCH(QString, zone);
        QFETCH(QDateTime, at);
        QFETCH(QString, notice);
        const auto parsed = ThrottleSchedule::parse(output(schedule, zone));
        QVERIFY(parsed);
        QCOMPARE(parsed->notice(at).value_or(QString()), notice);
    }
};

QTEST_GUILESS_MAIN(TestThrottleSchedule)
#include "test_throttle_schedule.moc"
