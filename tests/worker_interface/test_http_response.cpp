#include "worker_interface/http_response.h"

#include <QTest>

using namespace vxr;
using State = HttpResponse::State;

Q_DECLARE_METATYPE(HttpResponse::State)

namespace {
constexpr qint64 kCap = 64;

struct Outcome {
    State state;
    int status;
    QByteArray body;
    bool keepAlive;
    qsizetype surplus;
    bool operator==(const Outcome&) const = default;
};

// Fed in pieces of `piece` bytes (0: all at once), then the connection closed if asked.
Outcome read(const QByteArray& bytes, qsizetype piece, bool closeAtEnd) {
    HttpResponse response(kCap);
    for (qsizetype at = 0; at < bytes.size(); at += piece ? piece : bytes.size())
        response.feed(QByteArrayView(bytes).sliced(at).first(
            std::min(piece ? piece : bytes.size(), bytes.size() - at)));
    if (closeAtEnd)
        response.closed();
    return {response.state(), response.status(), response.body(), response.keepAlive(),
            response.surplus()};
}
} // namespace

class TestHttpResponse : public QObject {
    Q_OBJECT
private slots:
    // Every response reads the same whole, in single bytes and in pieces of 7: the
    // framing never depends on where the connection split the bytes.
    void readsTheSameInAnyPieces_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closeAtEnd");
        QTest::addColumn<State>("state");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<int>("surplus");
        const auto row = [](const char* name, const QByteArray& bytes, bool closeAtEnd, State state,
                            int status, const QByteArray& body, bool keepAlive, int surplus = 0) {
            QTest::newRow(name) << bytes << closeAtEnd << state << status << body << keepAlive
                                << surplus;
        };
        row("length, kept", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nx={};", false,
            State::complete, 200, "x={};", true);
        row("bare line feeds, no reason", "HTTP/1.1 404\nContent-Length: 2\n\nno", false,
            State::complete, 404, "no", true);
        row("chunked with extension and trailer",
            "HTTP/1.1 200 OK\r\ntransfer-encoding: gzip, Chunked\r\n\r\n"
            "3;name=v\r\nx={\r\nA \r\n\"a\":1234};\r\n0\r\nX-Sum: 1\r\n\r\n",
            false, State::complete, 200, "x={\"a\":1234};", true);
        row("interim response skipped",
            "HTTP/1.1 100 Continue\r\nContent-Length: 9\r\n\r\n"
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
            false, State::complete, 200, "ok", true);
        row("no content", "HTTP/1.1 204 No Content\r\nContent-Length: 3\r\n\r\n", false,
            State::complete, 204, "", true);
        row("closing, same length twice",
            "HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 2\r\n"
            "Content-Length: 2\r\n\r\nok",
            false, State::complete, 200, "ok", false);
        row("1.0 ends with the connection", "HTTP/1.0 200 OK\r\n\r\nall of it", true,
            State::complete, 200, "all of it", false);
        row("1.0 kept on request",
            "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\n1", false,
            State::complete, 200, "1", true);
        row("more than asked for", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n12", false,
            State::complete, 200, "1", true, 1);
        row("still reading", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1234", false,
            State::reading, 200, "1234", true);

        row("cut short at close", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1234", true,
            State::failed, 200, "", false);
        row("chunked cut at close", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok",
            true, State::failed, 200, "", false);
        row("not http", "SSH-2.0-OpenSSH\r\n\r\n", false, State::failed, 0, "", false);
        row("switching protocols", "HTTP/1.1 101 Upgrade\r\n\r\n", false, State::failed, 0, "",
            false);
        row("lengths disagree",
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok", false,
            State::failed, 0, "", false);
        row("signed length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, State::failed,
            0, "", false);
        row("bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
            State::failed, 200, "", false);
        row("chunk without its line end",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokX\r\n", false,
            State::failed, 200, "", false);
        // Refused before a byte of the body is buffered.
        row("announced over the cap", "HTTP/1.1 200 OK\r\nContent-Length: 65\r\n\r\n", false,
            State::failed, 200, "", false);
        row("chunk over the cap",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n20\r\n" + QByteArray(32, 'a') +
                "\r\nFFFFFFFFFFFFFFFFFFFF\r\n",
            false, State::failed, 200, "", false);
        row("until close, over the cap", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(65, 'a'), false,
            State::failed, 200, "", false);
        row("endless header section",
            "HTTP/1.1 200 OK\r\n" +
                QByteArray("X-Pad: " + QByteArray(100, 'p') + "\r\n").repeated(700),
            false, State::failed, 0, "", false);
    }
    void readsTheSameInAnyPieces() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closeAtEnd);
        QFETCH(State, state);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, keepAlive);
        QFETCH(int, surplus);
        const Outcome expected{state, status, body, keepAlive, surplus};
        for (const qsizetype piece : {0, 1, 7}) {
            const Outcome got = read(bytes, piece, closeAtEnd);
            QVERIFY2(got == expected,
                     qPrintable(QStringLiteral("in pieces of %1: state %2 status %3 body '%4'")
                                    .arg(piece)
                                    .arg(int(got.state))
                                    .arg(got.status)
                                    .arg(QString::fromLatin1(got.body))));
        }
    }
};

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "test_http_response.moc"
