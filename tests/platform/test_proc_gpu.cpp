#include "platform/proc/gpu_time.h"
#include "platform/proc/nvml_process_time.h"

#include <QTest>

using namespace vxr;
using namespace std::chrono_literals;

namespace {

DrmClientUsage usage(std::string_view text) {
    auto parsed = parseDrmFdinfo(text);
    return parsed ? *parsed : DrmClientUsage{};
}

const char* const i915Client = "pos:\t0\nflags:\t02100002\nmnt_id:\t24\nino:\t1045\n"
                               "drm-driver:\ti915\ndrm-pdev:\t0000:00:02.0\n"
                               "drm-client-id:\t17\n"
                               "drm-engine-render:\t1000000000 ns\n"
                               "drm-engine-copy:\t250 ns\n"
                               "drm-engine-capacity-video:\t2\n"
                               "drm-engine-video:\t750 ns\n";

} // namespace

class TestProcGpu : public QObject {
    Q_OBJECT
private slots:
    void parseFdinfo_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint64>("clientId");
        QTest::addColumn<quint64>("busyNS"); // engines summed
        QTest::newRow("i915") << QByteArray(i915Client) << true << quint64(17)
                              << quint64(1000001000);
        QTest::newRow("malformed lines skipped")
            << QByteArray("drm-driver: amdgpu\ngarbage without colon\ndrm-client-id: 5\n"
                          "drm-engine-gfx: 12x ns\ndrm-engine-compute: 30 ms\n"
                          "drm-engine-dec:\ndrm-engine-: 9 ns\ndrm-engine-enc: 40 ns\n")
            << true << quint64(5) << quint64(40);
        QTest::newRow("no client id") << QByteArray("drm-driver: i915\ndrm-engine-render: 5 ns\n")
                                      << false << quint64(0) << quint64(0);
        QTest::newRow("not a drm file")
            << QByteArray("pos: 0\nflags: 02\nmnt_id: 3\n") << false << quint64(0) << quint64(0);
        QTest::newRow("old amdgpu percentages")
            << QByteArray("drm-driver: amdgpu\ndrm-client-id: 3\ngfx0: 12%\n") << true << quint64(3)
            << quint64(0);
    }
    void parseFdinfo() {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        const auto parsed = parseDrmFdinfo(std::string_view(text.constData(), size_t(text.size())));
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QFETCH(quint64, clientId);
        QFETCH(quint64, busyNS);
        QCOMPARE(parsed->clientId, clientId);
        quint64 sum = 0;
        for (const auto& [engine, ns] : parsed->engineNS)
            sum += ns;
        QCOMPARE(sum, busyNS);
    }

    void eachClientCountedOnce() {
        GpuTimeProbe probe(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
        const DrmClientUsage client = usage(i915Client);
        DrmClientUsage other = client;
        other.clientId = 18;
        other.engineNS = {{"render", 5}};
        const auto now = GpuTimeProbe::Clock::now();
        // Two fds of process 10 on client 17, the same client passed to process 20, and
        // process 20's own client 18.
        const auto totals = probe.accountDrmClients({{10, "226:0", client},
                                                     {10, "226:128", client},
                                                     {20, "226:0", client},
                                                     {20, "226:0", other}},
                                                    now);
        QCOMPARE(totals.value(10), quint64(1000001000));
        QCOMPARE(totals.value(20), quint64(5));

        // The same client id on another device is another client.
        DrmClientUsage secondCard = client;
        secondCard.pdev = "0000:03:00.0";
        QCOMPARE(probe.accountDrmClients({{10, "226:0", client}, {11, "226:1", secondCard}}, now)
                     .value(11),
                 quint64(1000001000));
    }

    void countersThatStepBackKeepTheirMaximum() {
        GpuTimeProbe probe(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
        const auto now = GpuTimeProbe::Clock::now();
        const auto first = usage("drm-driver: i915\ndrm-client-id: 1\n"
                                 "drm-engine-render: 900 ns\ndrm-engine-copy: 100 ns\n");
        const auto stepBack = usage("drm-driver: i915\ndrm-client-id: 1\n"
                                    "drm-engine-render: 850 ns\ndrm-engine-copy: 130 ns\n");
        QCOMPARE(probe.accountDrmClients({{7, "226:0", first}}, now).value(7), quint64(1000));
        QCOMPARE(probe.accountDrmClients({{7, "226:0", stepBack}}, now).value(7), quint64(1030));
        // Once the client closes its maxima are forgotten.
        QVERIFY(probe.accountDrmClients({}, now).isEmpty());
        QCOMPARE(probe.accountDrmClients({{7, "226:0", stepBack}}, now).value(7), quint64(980));
    }

    void cycleCountersBecomeBusyTime() {
        GpuTimeProbe probe(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
        const auto start = GpuTimeProbe::Clock::now();
        const auto at = [](int busy, int total) {
            return usage(QByteArray("drm-driver: xe\ndrm-client-id: 4\ndrm-cycles-rcs: " +
                                    QByteArray::number(busy) +
                                    "\ndrm-total-cycles-rcs: " + QByteArray::number(total) + "\n")
                             .toStdString());
        };
        QCOMPARE(probe.accountDrmClients({{3, "226:0", at(100, 1000)}}, start).value(3),
                 quint64(0));
        // A quarter of the GPU's cycles over two seconds: half a second busy.
        QCOMPARE(probe.accountDrmClients({{3, "226:0", at(600, 3000)}}, start + 2s).value(3),
                 quint64(500'000'000));
        // No new cycles: the accumulated time stays.
        QCOMPARE(probe.accountDrmClients({{3, "226:0", at(600, 5000)}}, start + 4s).value(3),
                 quint64(500'000'000));
    }

    void noGpuMeansNothing() {
        GpuTimeProbe probe(QStringLiteral(VXR_TEST_DATA_DIR "/proc/children"),
                           QStringLiteral("/nonexistent"));
        QVERIFY(probe.gpuTimeNSByPID({}).isEmpty());
        QVERIFY(probe.gpuTimeNSByPID({100, 101}).isEmpty());
    }

    void nvidiaSamplesIntegrate() {
        std::map<std::pair<unsigned, std::uint32_t>, std::uint64_t> last;
        QHash<qint32, quint64> totals;
        // The first read reaches into the past: it only sets the baselines.
        NvmlProcessTime::integrate({{9, 1'000'000, 80}}, 0, last, 0, totals);
        QVERIFY(totals.isEmpty() || totals.value(9) == 0);
        // 50 % for 1 s, then 100 % for 0.5 s; a new process counts from the last read.
        NvmlProcessTime::integrate({{9, 2'500'000, 100}, {9, 2'000'000, 50}, {12, 2'500'000, 40}},
                                   1'000'000, last, 0, totals);
        QCOMPARE(totals.value(9), quint64(1'000'000'000));
        QCOMPARE(totals.value(12), quint64(600'000'000));
        // Samples not newer than the last read are not counted twice.
        NvmlProcessTime::integrate({{9, 2'500'000, 100}}, 2'500'000, last, 0, totals);
        QCOMPARE(totals.value(9), quint64(1'000'000'000));
    }
};

QTEST_GUILESS_MAIN(TestProcGpu)
#include "test_proc_gpu.moc"
