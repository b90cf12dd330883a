#include "core/task_key.h"
#include "jobs/job_history_json.h"
#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"
#include "worker_interface/task_info_parser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace vxr;

namespace {

using OptPeak = std::optional<Peak>;

TaskSnapshot snapshot(double slices, double cpu) {
    TaskSnapshot s;
    s.slicesDone = slices;
    s.cpu = cpu;
    return s;
}

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

QDateTime wholeSeconds(const QDateTime& d) {
    return QDateTime::fromSecsSinceEpoch(d.toSecsSinceEpoch(), Qt::UTC);
}

// A record with every optional present and one with none.
QList<JobRecord> sampleRecords() {
    JobRecord full;
    full.id = QStringLiteral("job-full-0123456789");
    full.name = QStringLiteral("Rendering \"frames\" ✓");
    full.computeGroup = QString();
    full.firstSeen = utc("2026-12-09T01:02:03.456Z");
    full.lastActive = utc("2026-12-09T02:03:04.999Z");
    TaskSnapshot a;
    a.slicesDone = 3;
    a.cpu = 1234.5;
    a.gpu = 0.1 + 0.2;
    a.inBytes = 12;
    a.outBytes = 1e12;
    a.ram = 5.5e8;
    a.ramSlices = 3;
    a.ramMax = 6e8;
    a.gpuMem = 1e9;
    a.gpuMemSlices = 2;
    a.gpuMemMax = 1.5e9;
    full.tasks.insert(QStringLiteral("7|1733700000000"), a);
    full.tasks.insert(QStringLiteral("|"), snapshot(1, 10));
    full.estimate = Estimate{100, std::nullopt, 2000, std::nullopt, 3e8, std::nullopt};
    full.ramBreakdown = RAMBreakdown{1, 2, 3, 4, 5};

    JobRecord bare;
    bare.id = QStringLiteral("bare");
    bare.firstSeen = utc("2026-01-01T00:00:00Z");
    bare.lastActive = utc("2026-01-01T00:00:00.500Z");
    return {full, bare};
}

QByteArray recordText(const char* overrides) {
    // A valid single-record file; `overrides` replaces the record's fields.
    return QByteArray("[{") + overrides + "}]";
}

const char* validFields =
    R"("id":"j","firstSeen":"2026-12-09T01:02:03Z",)"
    R"("lastActive":"2026-12-09T01:02:04Z","tasks":{"1|2":{"slicesDone":1,)"
    R"("cpu":1,"gpu":0,"inBytes":0,"outBytes":0,"ramSlices":0,"gpuMemSlices":0}})";

} // namespace

class TestJobRecord : public QObject {
    Q_OBJECT
private slots:
    void derivedValuesOfAJobWithoutTasks() {
        const JobRecord job;
        QCOMPARE(job.slices(), 0.0);
        QVERIFY(!job.cpuPerSlice() && !job.gpuPerSlice() && !job.inPerSlice() &&
                !job.outPerSlice());
        QVERIFY(!job.ram() && !job.gpuMem());
    }

    void perSliceFiguresAreWeightedBySlices() {
        JobRecord job;
        TaskSnapshot first = snapshot(1, 100);
        first.gpu = 10;
        first.inBytes = 400;
        first.outBytes = 40;
        TaskSnapshot second = snapshot(3, 200);
        second.inBytes = 800;
        job.tasks.insert(QStringLiteral("a|1"), first);
        job.tasks.insert(QStringLiteral("b|2"), second);
        QCOMPARE(job.slices(), 4.0);
        QCOMPARE(job.cpuPerSlice(), 175.0);
        QCOMPARE(job.gpuPerSlice(), 2.5);
        QCOMPARE(job.inPerSlice(), 700.0);
        QCOMPARE(job.outPerSlice(), 10.0);
    }

    void peak_data() {
        QTest::addColumn<QList<Peak::Entry>>("entries");
        QTest::addColumn<OptPeak>("expected");
        QTest::newRow("missing average counts as 0")
            << QList<Peak::Entry>{{std::nullopt, 2, std::nullopt}, {100, 2, 150}}
            << OptPeak(Peak{50, 150});
        QTest::newRow("no largest: max is avg")
            << QList<Peak::Entry>{{100, 1, std::nullopt}, {200, 3, std::nullopt}}
            << OptPeak(Peak{175, 175});
        QTest::newRow("largest of a zero-count entry still counts")
            << QList<Peak::Entry>{{100, 2, 120}, {std::nullopt, 0, 900}} << OptPeak(Peak{100, 900});
        QTest::newRow("zero counts: absent despite largest values")
            << QList<Peak::Entry>{{100, 0, 150}, {200, 0, 250}} << OptPeak();
        QTest::newRow("no entries") << QList<Peak::Entry>{} << OptPeak();
    }
    void peak() {
        QFETCH(QList<Peak::Entry>, entries);
        QFETCH(OptPeak, expected);
        QCOMPARE(Peak::fromEntries(entries), expected);
    }

    void recordPeaksReadTheirOwnFields() {
        JobRecord job;
        TaskSnapshot s = snapshot(4, 0);
        s.ram = 100;
        s.ramSlices = 2;
        s.ramMax = 150;
        s.gpuMemMax = 999; // no gpuMemSlices: no GPU memory peak
        job.tasks.insert(QStringLiteral("x|y"), s);
        QCOMPARE(job.ram(), OptPeak(Peak{100, 150}));
        QCOMPARE(job.gpuMem(), OptPeak());
        s.ramSlices = 0;
        s.gpuMem = 7;
        s.gpuMemSlices = 1;
        job.tasks.insert(QStringLiteral("x|y"), s);
        QCOMPARE(job.ram(), OptPeak());
        QCOMPARE(job.gpuMem(), OptPeak(Peak{7, 999}));
    }

    void snapshotFromMetrics() {
        TaskInfoMetrics metrics;
        metrics.cpu = 12.5;
        metrics.in = 12;
        metrics.ramSlices = 2;
        metrics.ramMax = 9e8;
        const TaskSnapshot s = TaskSnapshot::fromMetrics(4, metrics);
        QCOMPARE(s.slicesDone, 4.0);
        QCOMPARE(s.cpu, 12.5);
        QCOMPARE(s.gpu, 0.0); // missing counts as 0
        QCOMPARE(s.inBytes, 12.0);
        QCOMPARE(s.outBytes, 0.0);
        QCOMPARE(s.ram, std::optional<double>());
        QCOMPARE(s.ramSlices, 2.0);
        QCOMPARE(s.ramMax, std::optional<double>(9e8));
        QCOMPARE(s.gpuMem, std::optional<double>());
    }

    void estimateAndBreakdownFromTaskInfo() {
        TaskInfoMetrics metrics;
        metrics.cpu = 5;
        metrics.in = 7;
        metrics.out = 8;
        metrics.gpuMem = 1;
        metrics.ramSlices = 3; // not part of an estimate
        QCOMPARE(Estimate::fromTaskInfo(metrics),
                 (Estimate{5, std::nullopt, 7, 8, std::nullopt, 1}));
        const auto breakdown = RAMBreakdown::fromTaskInfo({1, 2, 3, std::nullopt, 9});
        QCOMPARE(breakdown, (RAMBreakdown{1, 2, 3, 0, 9}));
    }

    void workerProcessMemoryFromTaskInfo() {
        const auto read = [](const char* json) {
            return *TaskInfoParser().parseJson(QByteArray(R"({"workerProcess":)") + json + '}');
        };
        const auto full = WorkerProcessMemory::fromTaskInfo(*read(R"({
            "rss": 100, "peakRss": 200, "heapUsed": 30, "heapLimit": 40,
            "budget": {"limit": 1000, "committed": 300,
                       "jobs": {"a": {"fresh": {"n": 2, "mean": 5, "sd": 1, "estimate": 6}},
                                "bad": 3}},
            "sandboxReuse": {"a": {"fresh": 1, "reused": 4, "warmStartSavingMs": 250},
                             "bad": [1]}})")
                                                                 .workerProcess);
        QCOMPARE(full.rss, 100.0);
        QCOMPARE(full.heapLimit, 40.0);
        QCOMPARE(full.limit, std::optional<double>(1000));
        QCOMPARE(full.reserve, std::optional<double>());
        QCOMPARE(full.jobs.keys(), QStringList{QStringLiteral("a")});
        QCOMPARE(full.jobs[QStringLiteral("a")].fresh, (BudgetJobStats::Kind{2, 5, 1, 6}));
        QCOMPARE(full.jobs[QStringLiteral("a")].reused, BudgetJobStats::Kind{});
        QCOMPARE(full.reuse.keys(), QStringList{QStringLiteral("a")});
        QCOMPARE(full.reuse[QStringLiteral("a")], (SandboxReuse{1, 4, 0, 250}));

        const auto bare =
            WorkerProcessMemory::fromTaskInfo(*read(R"({"rss": 1, "budget": 5})").workerProcess);
        QCOMPARE(bare, (WorkerProcessMemory{1, 0, 0, 0, {}, {}, {}, {}, {}}));
    }

    void taskKey_data() {
        QTest::addColumn<QByteArray>("prototype");
        QTest::addColumn<QString>("key");
        QTest::newRow("numbers") << QByteArray(R"({"serial":7,"taskTime":1733700000000})")
                                 << "7|1733700000000";
        QTest::newRow("integral fraction")
            << QByteArray(R"({"serial":7.0,"taskTime":1.5})") << "7|1.5";
        QTest::newRow("negative and huge")
            << QByteArray(R"({"serial":-3,"taskTime":1e21})") << "-3|1e+21";
        QTest::newRow("beyond 2^53")
            << QByteArray(R"({"serial":-0,"taskTime":1e17})") << "0|100000000000000000";
        QTest::newRow("strings") << QByteArray(R"({"serial":"s-1","taskTime":"12:00"})")
                                 << "s-1|12:00";
        QTest::newRow("neither") << QByteArray(R"({"currentTask":{}})") << "|";
        QTest::newRow("null and bool")
            << QByteArray(R"({"serial":null,"taskTime":true})") << "|true";
    }
    void taskKey() {
        QFETCH(QByteArray, prototype);
        QFETCH(QString, key);
        QCOMPARE(vxr::taskKey(QJsonDocument::fromJson(prototype).object()), key);
    }

    void internetDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime at = utc("2026-12-09T01:02:03Z");
        QTest::newRow("utc") << "2026-12-09T01:02:03Z" << at;
        QTest::newRow("offset") << "2026-12-09T02:32:03+01:30" << at;
        QTest::newRow("negative offset") << "2026-12-08T23:02:03-02:00" << at;
        QTest::newRow("fraction") << "2026-12-09T01:02:03.000Z" << QDateTime();
        QTest::newRow("no zone") << "2026-12-09T01:02:03" << QDateTime();
        QTest::newRow("space") << "2026-12-09 01:02:03Z" << QDateTime();
        QTest::newRow("day 30 of February") << "2026-02-30T01:02:03Z" << QDateTime();
        QTest::newRow("hour 24") << "2026-12-09T24:00:00Z" << QDateTime();
        QTest::newRow("sign in year") << "+026-12-09T01:02:03Z" << QDateTime();
    }
    void internetDate() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(parseInternetDate(text).value_or(QDateTime()), expected);
        if (expected.isValid() && text.endsWith(u'Z'))
            QCOMPARE(internetDateText(expected), text);
    }

    void datesAreWrittenInUtcWholeSeconds() {
        const QDateTime local(QDate(2026, 12, 9), QTime(3, 2, 3, 999), QTimeZone(7200));
        QCOMPARE(internetDateText(local), QStringLiteral("2026-12-09T01:02:03Z"));
    }

    void roundTripKeepsEverythingButFractions() {
        const QList<JobRecord> records = sampleRecords();
        const QByteArray bytes = encodeJobHistory(records);
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains("null"));

        const auto decoded = decodeJobHistory(bytes);
        QVERIFY(decoded);
        QList<JobRecord> expected = records;
        for (JobRecord& r : expected) {
            r.firstSeen = wholeSeconds(r.firstSeen);
            r.lastActive = wholeSeconds(r.lastActive);
        }
        QCOMPARE(decoded->size(), 2);
        QVERIFY(decoded->at(0) == expected.at(0));
        QVERIFY(decoded->at(1) == expected.at(1));
        QVERIFY(!(decoded->at(0) == records.at(0)));

        // Absent optionals are left out, present ones (an empty string too) written.
        const QJsonArray array = QJsonDocument::fromJson(bytes).array();
        const QJsonObject bare = array.at(1).toObject();
        for (const char* key : {"name", "computeGroup", "estimate", "ramBreakdown"})
            QVERIFY2(!bare.contains(QLatin1StringView(key)), key);
        const QJsonObject full = array.at(0).toObject();
        QCOMPARE(full.value(QLatin1StringView("computeGroup")), QJsonValue(QString()));
        QCOMPARE(full.value(QLatin1StringView("estimate")).toObject().keys(),
                 (QStringList{"cpu", "inBytes", "ram"}));
        const QJsonObject task = full.value(QLatin1StringView("tasks"))
                                     .toObject()
                                     .value(QLatin1StringView("|"))
                                     .toObject();
        QCOMPARE(task.keys(), (QStringList{"cpu", "gpu", "gpuMemSlices", "inBytes", "outBytes",
                                           "ramSlices", "slicesDone"}));
    }

    void strictDecoding_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("records"); // -1: unreadable
        const QByteArray valid = validFields;
        QTest::newRow("valid") << recordText(validFields) << 1;
        QTest::newRow("empty list") << QByteArray("[]") << 0;
        QTest::newRow("unknown keys and null optionals")
            << recordText(validFields + QByteArray(R"(,"name":null,"extra":[1],"estimate":{})"))
            << 1;
        QTest::newRow("repeated id keeps the first")
            << QByteArray("[{" + valid + "},{" + valid + "}]") << 1;
        QTest::newRow("missing lastActive")
            << QByteArray("[{" + QByteArray(validFields).replace("lastActive", "lastSeen") + "}]")
            << -1;
        QTest::newRow("only record of two bad")
            << QByteArray("[{" + valid + "},{" + QByteArray(valid).replace("\"id\"", "\"jd\"") +
                          "}]")
            << -1;
        QTest::newRow("date with fraction")
            << recordText(QByteArray(validFields).replace("04Z", "04.000Z")) << -1;
        QTest::newRow("snapshot lacks a defaulted field")
            << recordText(QByteArray(validFields).replace(R"(,"gpuMemSlices":0)", "")) << -1;
        QTest::newRow("number as text")
            << recordText(QByteArray(validFields).replace(R"("cpu":1)", R"("cpu":"1")")) << -1;
        QTest::newRow("mistyped optional")
            << recordText(validFields + QByteArray(R"(,"name":5)")) << -1;
        QTest::newRow("incomplete breakdown")
            << recordText(validFields + QByteArray(R"(,"ramBreakdown":{"heap":1})")) << -1;
        QTest::newRow("estimate not an object")
            << recordText(validFields + QByteArray(R"(,"estimate":3)")) << -1;
        QTest::newRow("object at top") << QByteArray("{}") << -1;
        QTest::newRow("truncated") << recordText(validFields).chopped(3) << -1;
        QTest::newRow("empty file") << QByteArray() << -1;
    }
    void strictDecoding() {
        QFETCH(QByteArray, file);
        QFETCH(int, records);
        const auto decoded = decodeJobHistory(file);
        QCOMPARE(decoded ? int(decoded->size()) : -1, records);
    }

    // Unknown keys may hold any JSON value; anything that is not JSON (RFC 8259,
    // stricter than QJsonDocument about "1.", ".5" and raw control characters)
    // makes the file unreadable.
    void unknownValuesFollowJsonGrammar_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("valid");
        const char* valid[] = {
            R"({"a":[1,2,{"b":null}],"c":true,"d":false})",     "-0.5e-3", "0", "1E+2", "[]", "{}",
            "\"tab\\tquote\\\"slash\\/\\u00e9\\ud83d\\ude00\"", " \n\t 7 "};
        const char* invalid[] = {"01",
                                 "1.",
                                 ".5",
                                 "+1",
                                 "1e",
                                 "-",
                                 "inf",
                                 "NaN",
                                 "tru",
                                 "nul",
                                 "[1,]",
                                 "{\"a\":1,}",
                                 "{\"a\" 1}",
                                 "{a:1}",
                                 "[1 2]",
                                 "\"unterminated",
                                 "\"bad\\x\"",
                                 "\"\\u12\"",
                                 "\"line\nbreak\"",
                                 "'single'",
                                 "[[[[",
                                 "1e400",
                                 ""};
        for (const char* value : valid)
            QTest::newRow(value) << QByteArray(value) << true;
        for (const char* value : invalid)
            QTest::newRow(value) << QByteArray(value) << false;
        QTest::newRow("deep") << QByteArray(200, '[') + QByteArray(200, ']') << true;
    }
    void unknownValuesFollowJsonGrammar() {
        QFETCH(QByteArray, value);
        QFETCH(bool, valid);
        const QByteArray file = recordText(validFields + QByteArray(",\"extra\":") + value);
        QCOMPARE(decodeJobHistory(file).has_value(), valid);
        if (valid)
            QVERIFY(QJsonDocument::fromJson(file).isArray());
    }

    void textSurvivesTheRoundTrip() {
        const QString awkward = QStringLiteral("q\"b\\s/\n\t\x01 é ✓ ") + QString::fromUcs4(U"😀");
        JobRecord r = sampleRecords().at(1);
        r.id = awkward;
        r.name = awkward;
        r.tasks.insert(awkward + u'|', TaskSnapshot{});
        r.tasks.first().slicesDone = -0.0;
        r.tasks.first().cpu = 5e-324;
        r.tasks.first().gpu = 1.7976931348623157e308;
        r.tasks.first().inBytes = -123456789012.25;
        r.tasks.first().outBytes = 9007199254740993.0;
        r.firstSeen = r.lastActive = utc("2026-12-09T01:02:03Z");
        const QByteArray bytes = encodeJobHistory({r});
        QVERIFY(QJsonDocument::fromJson(bytes).isArray()); // valid JSON for anyone else too
        const auto back = decodeJobHistory(bytes);
        QVERIFY(back);
        QVERIFY(back->at(0) == r);
        QCOMPARE(back->at(0).tasks.firstKey(), awkward + u'|');
        // Whitespace between tokens is fine.
        QByteArray spaced = bytes;
        spaced.replace(",\"", " ,\n\t\"").replace("\":", "\" : ").replace("{", "{ ");
        QVERIFY(decodeJobHistory(spaced));
    }

    // Damaged files (truncated, bytes flipped) must be rejected or read, never
    // crash or read past the end; whatever is read must survive a rewrite.
    void damagedFilesAreHandled() {
        const QByteArray valid = encodeJobHistory(sampleRecords());
        QRandomGenerator random(20261209);
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = valid.left(random.bounded(valid.size() + 1));
            if (round % 2 == 0) {
                damaged = valid;
                for (int flips = random.bounded(1, 4); flips > 0; --flips)
                    damaged[random.bounded(damaged.size())] = char(random.bounded(256));
            }
            // A copy without spare capacity, so reading past the end is caught by ASan.
            const QByteArray exact(damaged.constData(), damaged.size());
            if (const auto records = decodeJobHistory(exact)) {
                const auto again = decodeJobHistory(encodeJobHistory(*records));
                QVERIFY(again && *again == *records);
            }
            (void)decodeDismissed(exact);
        }
    }

    void dismissedFile() {
        const DismissedPairs pairs{
            {QStringLiteral("a"), {QStringLiteral("2|2"), QStringLiteral("1|1")}},
            {QStringLiteral("b"), {}}};
        const QByteArray bytes = encodeDismissed(pairs);
        QCOMPARE(bytes, QByteArray(R"({"a":["1|1","2|2"],"b":[]})"));
        QCOMPARE(decodeDismissed(bytes), std::optional(pairs));
        QCOMPARE(decodeDismissed(R"({"a":["x","x"]})"),
                 std::optional(DismissedPairs{{QStringLiteral("a"), {QStringLiteral("x")}}}));
        QVERIFY(!decodeDismissed(R"({"a":"x"})"));
        QVERIFY(!decodeDismissed(R"({"a":[1]})"));
        QVERIFY(!decodeDismissed(R"(["a"])"));
    }
};

QTEST_GUILESS_MAIN(TestJobRecord)
#include "test_job_record.moc"
