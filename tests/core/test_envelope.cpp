#include "core/envelope.h"

#include <QTest>

using namespace vxr;

class TestEnvelope : public QObject {
    Q_OBJECT
private slots:
    void runInfo_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("present");
        QTest::addColumn<double>("total");
        QTest::addColumn<QString>("account");
        QTest::newRow("integer total and account")
            << QByteArray(R"(x={"totalEarnings": 12, "earningsAccount": "0xfeed"})") << true << 12.0
            << "0xfeed";
        QTest::newRow("white space around the JSON")
            << QByteArray("x= {\"totalEarnings\": 0.25}\n") << true << 0.25 << "";
        QTest::newRow("final semicolon is not dropped")
            << QByteArray(R"(x={"totalEarnings": 12, "earningsAccount": "0xfeed"};)") << false
            << 0.0 << "";
        QTest::newRow("missing keys read as 0 and empty")
            << QByteArray("x={}") << true << 0.0 << "";
        QTest::newRow("wrong types read as 0 and empty")
            << QByteArray(R"(x={"totalEarnings":"12","earningsAccount":7})") << true << 0.0 << "";
        QTest::newRow("no equals sign")
            << QByteArray(R"({"totalEarnings": 12})") << false << 0.0 << "";
        QTest::newRow("first equals sign counts")
            << QByteArray(R"(a=b={"totalEarnings": 1})") << false << 0.0 << "";
        QTest::newRow("equals inside the JSON")
            << QByteArray(R"(x={"earningsAccount":"a=b"})") << true << 0.0 << "a=b";
        QTest::newRow("top level not an object") << QByteArray("x=[1]") << false << 0.0 << "";
        QTest::newRow("not UTF-8")
            << QByteArray("x={\"earningsAccount\":\"\xff\"}") << false << 0.0 << "";
    }
    void runInfo() {
        QFETCH(QByteArray, body);
        QFETCH(bool, present);
        QFETCH(double, total);
        QFETCH(QString, account);
        const std::optional<RunInfo> info = parseRunInfo(body);
        QCOMPARE(info.has_value(), present);
        if (info)
            QCOMPARE(*info, (RunInfo{total, account}));
    }

    void taskInfoDropsExactlyOneSemicolon_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("present");
        QTest::newRow("no semicolon") << QByteArray("x={}") << true;
        QTest::newRow("one semicolon") << QByteArray("x={};") << true;
        QTest::newRow("two semicolons") << QByteArray("x={};;") << false;
        QTest::newRow("semicolon then line break") << QByteArray("x={};\n") << false;
        QTest::newRow("line break then semicolon") << QByteArray("x={}\n;") << true;
        QTest::newRow("no equals sign") << QByteArray("{};") << false;
        QTest::newRow("empty after equals") << QByteArray("x=;") << false;
    }
    void taskInfoDropsExactlyOneSemicolon() {
        QFETCH(QByteArray, body);
        QFETCH(bool, present);
        QCOMPARE(parseTaskInfoRoot(body).has_value(), present);
    }
};

QTEST_GUILESS_MAIN(TestEnvelope)
#include "test_envelope.moc"
