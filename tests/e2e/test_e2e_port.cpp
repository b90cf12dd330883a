// Something other than the worker service on the service's port: the program reads
// whatever comes back there, so it must neither crash nor grow on garbage or on
// endless bodies.

#include "e2e/app_harness.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace e2e;

namespace {

// Answers every connection on port 9080 (IPv4 and IPv6 loopback) the chosen way.
class HostileServer : public QObject {
public:
    enum class Mode { Garbage, HugeBody };

    explicit HostileServer(Mode mode)
        : m_mode(mode) {}

    bool listen() {
        const bool v4 = m_v4.listen(QHostAddress::LocalHost, 9080);
        m_v6.listen(QHostAddress::LocalHostIPv6, 9080); // absent IPv6 is fine
        for (QTcpServer* server : {&m_v4, &m_v6})
            connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
        return v4;
    }

    int connections = 0;
    qint64 bytesSent = 0;

private:
    static constexpr qint64 kHugeBody = 100 * 1024 * 1024;

    void accept(QTcpServer* server) {
        while (QTcpSocket* socket = server->nextPendingConnection()) {
            ++connections;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (m_mode == Mode::Garbage) {
                QByteArray bytes(64 * 1024, '\0');
                QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                                      bytes.size() / 4);
                // Once the request has come, so the reply is not a reset before it.
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, bytes] {
                    socket->readAll();
                    bytesSent += socket->write(bytes);
                    socket->disconnectFromHost();
                });
                continue;
            }
            auto left = std::make_shared<qint64>(kHugeBody);
            const auto topUp = [this, socket, left] {
                while (*left > 0 && socket->bytesToWrite() < 1024 * 1024 &&
                       socket->state() == QAbstractSocket::ConnectedState) {
                    const qint64 n = std::min<qint64>(*left, 256 * 1024);
                    bytesSent += socket->write(QByteArray(n, 'x'));
                    *left -= n;
                }
                if (*left == 0)
                    socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, topUp] {
                if (socket->property("answered").toBool()) {
                    socket->readAll();
                    return;
                }
                socket->readAll();
                socket->setProperty("answered", true);
                bytesSent +=
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  QByteArray::number(kHugeBody) + "\r\n\r\ntaskInfo=");
                topUp();
            });
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket, topUp] {
                if (socket->property("answered").toBool())
                    topUp();
            });
        }
    }

    Mode m_mode;
    QTcpServer m_v4;
    QTcpServer m_v6;
};

} // namespace

class TestE2EPort : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;

private slots:
    void initTestCase() { requireProgramAndBus(m_bus); }

    void foreignServerOnThePort_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("garbage") << int(HostileServer::Mode::Garbage);
        QTest::newRow("100 MB bodies") << int(HostileServer::Mode::HugeBody);
    }

    void foreignServerOnThePort() {
        QFETCH(int, mode);
        HostileServer server{HostileServer::Mode(mode)};
        QVERIFY2(server.listen(), "port 9080 is taken");

        // The program from an install-like copy whose worker programs only sleep, so
        // the only thing on the port is the server above.
        AppHarness app;
        const QString program = installCopy(app.path(QStringLiteral("install")));
        QVERIFY(!program.isEmpty());
        for (const char* script : {"vxr-worker.sh", "vxr-evaluator.sh"}) {
            QFile file(app.path(QStringLiteral("install/lib/vxr-worker/")) + QLatin1String(script));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            // One-shot questions get "no"; the long-running programs just sleep.
            file.write("#!/bin/sh\ncase \"$1\" in --show=*|--register=*|--reset) exit 1 ;; "
                       "esac\nexec sleep 300\n");
        }

        QVERIFY(app.start(m_bus, program));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTest::qWait(1000); // past the start's own growth
        const qint64 baseline = rssKiB(app.pid());
        QVERIFY(m_bus.action(QStringLiteral("toggle"))); // the task-info poll and sampler too

        qint64 peak = baseline;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 8000) {
            QTest::qWait(100);
            QVERIFY2(app.running(), app.output().right(2000).constData());
            peak = std::max(peak, rssKiB(app.pid()));
        }
        QVERIFY(m_bus.action(QStringLiteral("show")));
        qInfo("RSS baseline %lld KiB, peak %lld KiB; %d connections, %lld bytes sent", baseline,
              peak, server.connections, server.bytesSent);
        QVERIFY2(server.connections >= 3, "the program never came to the port");
        // Neither costs more than a few read buffers: an announced huge body is refused
        // unread, an unannounced one is dropped at the reader's cap.
#ifndef __SANITIZE_ADDRESS__ // the sanitizer holds freed memory back on purpose
        const qint64 bound = 16 * 1024;
        QVERIFY2(peak - baseline < bound,
                 qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(peak - baseline)));
#endif

        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(app.waitForExit(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_bus.appRegistered(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestE2EPort)
#include "test_e2e_port.moc"
