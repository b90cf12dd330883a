// The simdjson reader against the QJsonDocument reader it replaced: the same documents
// taken, the same values read, hence the same rows, history and network totals.
#include "jobs/job_history.h"
#include "metrics/sample_math.h"
#include "reference/qjson_task_info.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_parser.h"
#include "worker_interface/task_info_reader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

namespace {

// Everything the consumers make of one document.
struct Outcome {
    std::optional<TaskInfo> info;
    QList<SandboxProgress> rows;
    QList<JobRecord> jobs;
    std::optional<WorkerProcessMemory> workerProcess;
    NetworkTotals totals;
};

Outcome consume(std::optional<TaskInfo> info, const QString& historyDir) {
    Outcome outcome;
    if (info)
        (void)boundTaskInfo(*info);
    outcome.rows = sandboxRows(info ? &*info : nullptr);
    if (info) {
        JobHistory history(historyDir, Timing{},
                           [] { return QDateTime::fromSecsSinceEpoch(1'800'000'000); });
        history.ingest(*info);
        outcome.jobs = history.jobs();
        outcome.workerProcess = history.workerProcess();
        accountTaskInfo(outcome.totals, *info);
    }
    outcome.info = std::move(info);
    return outcome;
}

} // namespace

class TestTaskInfoParser : public QObject {
    Q_OBJECT
private slots:
    // Every fuzz corpus entry, and bodies where Qt's parser is lenient or strict in its
    // own way; `readable`: whether Qt takes the body at all.
    void readsAsQJsonDocumentDid_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("readable");
        const QDir corpus(QStringLiteral(VXR_FUZZ_CORPUS_DIR "/task_info"));
        const QStringList files = corpus.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray body = file.readAll();
            QTest::newRow(qPrintable(name)) << body << reference::qjsonTaskInfo(body).has_value();
        }
        const QByteArray task =
            R"({"jobs":{"b":{"slicesDone":3,"slicesLeft":[1,2]},"a":{"slicesDone":2}},
            "prototype":{"serial":7,"taskTime":"t","currentTask":{"jobs":{
              "a":{"sliceCount":9,"metrics":{"cpu":5,"in":100,"out":"9"},"cgId":"g"},
              "b":{"metrics":{"cpu":1.5,"ramSlices":2,"ram":10}}}}}})";
        const auto doc = [&](const QByteArray& extra) {
            return "x={\"tasks\":[" + task + "]" + extra + "};";
        };
        const QList<std::tuple<const char*, QByteArray, bool>> bodies{
            {"plain", doc(R"(,"jobs":{"a":{"name":"A","ramBreakdown":{"heap":1,"slices":2}}})"),
             true},
            {"wrong types and odd numbers",
             R"(x={"tasks":[1,"s",null,{"jobs":[]},{"jobs":{"a":{"slicesDone":"3","slicesLeft":{}},"b":4}},
               {"jobs":{"c":{"slicesDone":1.},"d":{"slicesDone":-.5},"e":{"slicesDone":-0},
                 "f":{"slicesDone":12345678901234567890},"g":{"slicesDone":1.e2}},
                "prototype":{"serial":[1,{"b":2,"a":-0.0}],"taskTime":{"z":1,"z":true},"currentTask":{"finished":null}}}],
               "workerProcess":{"rss":"1","budget":{"jobs":{"a":{"fresh":{"n":2}},"b":[]}},"sandboxReuse":7}})",
             true},
            {"duplicate keys, the last wins",
             R"(x={"tasks":[{"jobs":{"a":{"slicesDone":1},"a":{"slicesDone":5},"b":{"slicesDone":2},"b":3},
               "prototype":{"currentTask":{"jobs":{"a":{"metrics":{}}}},"currentTask":7}}],"tasks":[]};)",
             true},
            {"escapes and unicode keys",
             "x={\"tasks\":[{\"jobs\":{\"\\u0061\":{\"slicesDone\":1},\"a\":{\"slicesDone\":2},"
             "\"\xc3\xa9\":{\"slicesDone\":3},\"\xf0\x9f\x98\x80\":{\"slicesDone\":4},"
             "\"\xef\xbf\xbd\":{\"slicesDone\":5},\"\\x\\/\\t\":{\"slicesDone\":6},"
             "\"\\ud800\":{\"slicesDone\":7}},\"prototype\":{\"serial\":\"s\\u00e9\\n\"}}]};",
             true},
            {"raw control characters in strings",
             "x={\"tasks\":[{\"jobs\":{\"a\x01\\\x02\":"
             "{\"slicesDone\":1}},\"prototype\":{\"serial\":\"\t\"}}]};",
             true},
            {"byte order mark", "x=\xef\xbb\xbf{\"tasks\":[]};", true},
            {"U+FEFF starting strings",
             "x={\"tasks\":[{\"jobs\":{\"\xef\xbb\xbf\":{},\"\xef\xbb\xbfz\":{},\"a\xef\xbb\xbf\":{"
             "},"
             "\"\xef\xbb\xbf\x01\\n\xef\xbb\xbf\":{}}}]};",
             true},
            {"U+FEFF starting strings among raw control characters",
             "x={\"tasks\":[{\"jobs\":{\"\xef\xbb\xbf\x02\":{},\"\xef\xbb\xbf\x02\\t\":{},"
             "\"\xef\xbb\xbfjobs\":{},\"\xef\xbb\xbf\xef\xbb\xbf\x01\":{}}}]};",
             true},
            {"U+FEFF keys that Qt stores alike",
             "x={\"jobs\":{\"\xef\xbb\xbf"
             "a\":{\"name\":\"1\"},"
             "\"\xef\xbb\xbf\\u0061\":{\"name\":\"2\"},\"\xef\xbb\xbf"
             "b\":{}}};",
             true},
            {"number without a leading digit",
             doc(R"(,"workerProcess":{"rss":.5,"peakRss":[.5e1]})"), true},
            {"number with a plus sign", doc(R"(,"other":+5)"), false},
            {"smallest subnormal", doc(R"(,"workerProcess":{"rss":3e-324})"), true},
            {"underflow", doc(R"(,"workerProcess":{"rss":2e-324})"), false},
            {"overflow", doc(R"(,"other":[1.8e308])"), false},
            {"bad number where nobody reads", doc(R"(,"other":{"x":01})"), false},
            {"bad escape where nobody reads", doc(R"(,"other":"\u12")"), false},
            {"escaped non-ASCII", doc(",\"other\":\"\\\xc3\xa9\""), false},
            {"trailing comma", doc(R"(,"other":[1,])"), false},
            {"garbage after", doc("") + "x", false},
            {"two objects", "x={}{};", false},
            {"not an object", "x=[1];", false},
            {"no equals sign", "{}", false},
            {"invalid UTF-8 in the prefix", "\xff=" + doc("").mid(2), false},
            {"1024 levels", "x={\"a\":" + QByteArray(1023, '[') + QByteArray(1023, ']') + "}",
             true},
            {"1025 levels", "x={\"a\":" + QByteArray(1024, '[') + QByteArray(1024, ']') + "}",
             false},
        };
        for (const auto& [name, body, readable] : bodies)
            QTest::newRow(name) << body << readable;
    }
    void readsAsQJsonDocumentDid() {
        QFETCH(QByteArray, body);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        TaskInfoParser parser;
        const Outcome fast = consume(parser.parseBody(body), dir.filePath(QStringLiteral("fast")));
        const Outcome old =
            consume(reference::qjsonTaskInfo(body), dir.filePath(QStringLiteral("old")));
        QCOMPARE(old.info.has_value(), readable);
        QVERIFY(fast.info == old.info);
        QCOMPARE(fast.rows, old.rows);
        QCOMPARE(fast.jobs, old.jobs);
        QCOMPARE(fast.workerProcess, old.workerProcess);
        QCOMPARE(fast.totals, old.totals);
    }
};

QTEST_GUILESS_MAIN(TestTaskInfoParser)
#include "test_task_info_parser.moc"
