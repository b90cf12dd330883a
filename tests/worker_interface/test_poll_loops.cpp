#include "fake_http_service.h"
#include "worker_interface/local_http.h"
#include "worker_interface/poll_loops.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace vxr;
using vxr::test::FakeHttpService;

namespace {
const QString kHud = QStringLiteral("/hud/small-dark.html");
const QString kRunInfo = QStringLiteral("/worker/run-info");
const QString kTaskInfo = QStringLiteral("/worker/task-info");

// A peer that answers every request with a chunked body that never ends: one byte per
// tick, or as fast as the connection takes it. It gives up after `giveUpAfter` bytes
// per connection, so a client without a cap costs the test a bounded amount.
class RudeServer : public QTcpServer {
public:
    RudeServer(Millis tick, qint64 giveUpAfter)
        : m_tick(tick)
        , m_giveUpAfter(giveUpAfter) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        });
    }
    [[nodiscard]] QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()));
    }
    int requests = 0;
    qint64 mostSentOnOneConnection = 0;

private:
    void serve(QTcpSocket* socket) {
        socket->readAll();
        ++requests;
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nx={\r\n");
        auto sent = std::make_shared<qint64>(0);
        const auto more = [this, socket, sent] {
            const QByteArray data(m_tick.count() ? 1 : 64 * 1024, ' ');
            *sent += data.size();
            mostSentOnOneConnection = std::max(mostSentOnOneConnection, *sent);
            if (*sent > m_giveUpAfter || socket->state() != QAbstractSocket::ConnectedState)
                return socket->abort();
            socket->write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
        };
        if (m_tick.count()) {
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, more);
            timer->start(m_tick);
        } else {
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket, more] {
                if (socket->bytesToWrite() == 0)
                    more();
            });
            more();
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    Millis m_tick;
    qint64 m_giveUpAfter;
};

// Answers "ok" on connections it keeps open, or closes one on a request unanswered.
class KeepAliveServer : public QTcpServer {
public:
    KeepAliveServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().endsWith("\r\n\r\n"))
                        return;
                    ++requests;
                    if (std::exchange(dropNextRequest, false))
                        return socket->abort();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                });
            }
        });
    }
    [[nodiscard]] QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()));
    }
    void closeAll() {
        for (QTcpSocket* socket : findChildren<QTcpSocket*>())
            socket->abort();
    }
    int connections = 0;
    int requests = 0;
    bool dropNextRequest = false;
};

Timing fastTiming() {
    Timing t = Timing{}.scaled(0.02); // 30 ms request timeout, 20 ms retry, 300 ms run-info
    t.taskInfoInterval = Millis(20);
    t.localRequestDeadline = Millis(10000); // room for the 8 MiB bodies on a busy machine
    return t;
}
} // namespace

class TestPollLoops : public QObject {
    Q_OBJECT
private slots:
    void statusPollTreatsAnyHttpAnswerAsUp() {
        FakeHttpService service; // no route: every path answers 404
        StatusPoll poll(service.url(kHud), fastTiming());
        QSignalSpy answered(&poll, &StatusPoll::answered);
        poll.start();
        QTRY_COMPARE(answered.count(), 1);
        QVERIFY(!poll.isRunning());
        const int hits = service.hits(kHud);
        QTest::qWait(100);
        QCOMPARE(service.hits(kHud), hits); // the loop ended with the answer
        QCOMPARE(answered.count(), 1);
    }

    void statusPollRetriesAfterTimeoutsUntilAnswered() {
        FakeHttpService service;
        service.setRoute(kHud, {200, {}, true});
        StatusPoll poll(service.url(kHud), fastTiming());
        QSignalSpy answered(&poll, &StatusPoll::answered);
        poll.start();
        QTRY_VERIFY(service.hits(kHud) >= 3); // each attempt timed out and was retried
        QCOMPARE(answered.count(), 0);
        service.answer(kHud, 200, "<html/>");
        QTRY_COMPARE(answered.count(), 1);
    }

    void restartingLeavesOneRequestInFlight() {
        FakeHttpService service;
        service.setRoute(kHud, {200, {}, true});
        Timing timing = fastTiming();
        timing.statusRequestTimeout = Millis(10000);
        StatusPoll poll(service.url(kHud), timing);
        poll.start();
        QTRY_COMPARE(service.openConnections(), 1);
        poll.start();
        QTRY_COMPARE(service.hits(kHud), 2);
        // The first request was dropped, not left running beside the new one.
        QTRY_COMPARE(service.openConnections(), 1);
    }

    void deletingALoopMidRequestCancelsIt() {
        FakeHttpService service;
        service.setRoute(kTaskInfo, {200, {}, true});
        auto poll = std::make_unique<TaskInfoPoll>(service.url(kTaskInfo), fastTiming());
        QSignalSpy fetched(poll.get(), &TaskInfoPoll::fetched);
        poll->start();
        QTRY_COMPARE(service.openConnections(), 1);
        poll.reset();
        QTRY_COMPARE(service.openConnections(), 0);
    }

    void runInfoPollPublishesOnlyRecords() {
        FakeHttpService service;
        service.answer(kRunInfo, 200, R"(var x={"totalEarnings": 12, "earningsAccount": "0xabc"})");
        Timing timing = fastTiming();
        timing.runInfoInterval = Millis(20);
        RunInfoPoll poll(service.url(kRunInfo), timing);
        QSignalSpy fetched(&poll, &RunInfoPoll::fetched);
        poll.start();
        QTRY_VERIFY(fetched.count() >= 2); // first at once, then periodically
        QCOMPARE(fetched.first().first().value<RunInfo>(),
                 (RunInfo{12.0, QStringLiteral("0xabc")}));

        service.answer(kRunInfo, 200, R"(var x={"totalEarnings": 12};)");
        const int hits = service.hits(kRunInfo);
        QTRY_VERIFY(service.hits(kRunInfo) >= hits + 2);
        fetched.clear();
        const int after = service.hits(kRunInfo);
        QTRY_VERIFY(service.hits(kRunInfo) >= after + 2);
        QCOMPARE(fetched.count(), 0);
        QVERIFY(poll.isRunning()); // a bad answer does not end the loop
    }

    void taskInfoPollReportsEveryCycle() {
        FakeHttpService service;
        service.answer(kTaskInfo, 200, "x={\"tasks\":[]};\n");
        TaskInfoPoll poll(service.url(kTaskInfo), fastTiming());
        QSignalSpy fetched(&poll, &TaskInfoPoll::fetched);
        poll.start();
        QTRY_VERIFY(fetched.count() >= 3);
        for (const auto& args : fetched)
            QVERIFY(!args.first().value<std::shared_ptr<const TaskInfo>>());

        service.answer(kTaskInfo, 404, "x={\"tasks\":[]};"); // the status code is not examined
        fetched.clear();
        QTRY_VERIFY(fetched.count() >= 3);
        QVERIFY(fetched.last().first().value<std::shared_ptr<const TaskInfo>>() != nullptr);
    }

    void oversizedBodiesYieldNothing_data() {
        QTest::addColumn<qint64>("padding");
        QTest::addColumn<bool>("present");
        QTest::newRow("just under the cap") << kLocalBodyCap - 64 << true;
        QTest::newRow("over the cap") << kLocalBodyCap + 1 << false;
    }
    void oversizedBodiesYieldNothing() {
        QFETCH(qint64, padding);
        QFETCH(bool, present);
        FakeHttpService service;
        // Valid JSON either way: the object is padded with white space.
        service.answer(kTaskInfo, 200, "x={" + QByteArray(padding, ' ') + "}");
        TaskInfoPoll poll(service.url(kTaskInfo), fastTiming());
        QSignalSpy fetched(&poll, &TaskInfoPoll::fetched);
        poll.start();
        QTRY_VERIFY(fetched.count() >= 1);
        QCOMPARE(fetched.first().first().value<std::shared_ptr<const TaskInfo>>() != nullptr,
                 present);
    }

    // A peer that trickles (an idle timeout never fires) is given up at the deadline;
    // one whose chunked body never ends, at the cap, long before its deadline. Either
    // way the cycle counts as failed and the poll sends its next request.
    void rudePeersCostOneCycleEach_data() {
        QTest::addColumn<int>("tickMs"); // 0: as fast as it goes
        QTest::addColumn<int>("deadlineMs");
        QTest::newRow("a byte per tick") << 5 << 200;
        QTest::newRow("endless chunked body") << 0 << 60000;
    }
    void rudePeersCostOneCycleEach() {
        QFETCH(int, tickMs);
        QFETCH(int, deadlineMs);
        RudeServer peer(Millis(tickMs), 16 * kLocalBodyCap);
        Timing timing = fastTiming();
        timing.localRequestDeadline = Millis(deadlineMs);
        TaskInfoPoll poll(peer.url(), timing);
        QSignalSpy fetched(&poll, &TaskInfoPoll::fetched);
        poll.start();
        QTRY_VERIFY_WITH_TIMEOUT(fetched.count() >= 3, 30000);
        for (const auto& args : fetched)
            QVERIFY(!args.first().value<std::shared_ptr<const TaskInfo>>());
        QVERIFY(peer.mostSentOnOneConnection < 2 * kLocalBodyCap);
    }

    // A server that announces a huge body and then trickles is given up at once, not
    // read up to the cap nor waited on until the transfer timeout.
    void announcedOversizedBodyIsRefusedUnread() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: " +
                              QByteArray::number(kLocalBodyCap * 16) + "\r\n\r\nx={");
            });
        });
        std::optional<LocalReply> result;
        QElapsedTimer clock;
        clock.start();
        LocalHttpClient client;
        client.get(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort())),
                   Millis(60000), [&result](const LocalReply& reply) { result = reply; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 5000);
        QVERIFY(result->answered);
        QCOMPARE(result->status, 200);
        QVERIFY(!result->body.has_value());
        QVERIFY(clock.elapsed() < 5000);
    }

    // Requests share one connection while the peer keeps it. One that the peer closes,
    // idle or just as the next request arrives, is replaced without a failed cycle.
    void keptConnectionsCarryRequestsAndAreReplacedWhenClosed() {
        KeepAliveServer server;
        LocalHttpClient client;
        const auto fetch = [&client, &server] {
            std::optional<LocalReply> result;
            client.get(server.url(), Millis(5000),
                       [&result](const LocalReply& reply) { result = reply; });
            return QTest::qWaitFor([&result] { return result.has_value(); }, 5000) &&
                   result->body == QByteArray("ok");
        };
        QVERIFY(fetch());
        QVERIFY(fetch());
        QCOMPARE(server.connections, 1);
        QCOMPARE(server.requests, 2);

        server.dropNextRequest = true;
        QVERIFY(fetch());
        QCOMPARE(server.connections, 2);

        server.closeAll();
        QTest::qWait(20);
        QVERIFY(fetch());
        QCOMPARE(server.connections, 3);
        QCOMPARE(server.requests, 5);
    }
};

QTEST_GUILESS_MAIN(TestPollLoops)
#include "test_poll_loops.moc"
