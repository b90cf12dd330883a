#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vxr {

// Reads one HTTP/1.x response from the bytes of a connection as they arrive, in
// whatever pieces: status line, header fields, and a body framed by Content-Length,
// by chunked transfer coding, or by the end of the connection. Interim (1xx)
// responses are skipped. Anything malformed, a header section over 64 KiB, or a body
// past `bodyCap` (announced or counted as it arrives) fails the response at once,
// before more of it is buffered.
class HttpResponse {
public:
    enum class State { reading, complete, failed };

    explicit HttpResponse(qint64 bodyCap);

    // Takes the next bytes of the connection. Bytes after a complete response are
    // counted in surplus() and otherwise ignored.
    State feed(QByteArrayView bytes);
    // The peer closed the connection: ends a body that runs until then, or fails a
    // response that was cut short.
    State closed();

    [[nodiscard]] State state() const { return m_state; }
    // The status line and header fields have arrived.
    [[nodiscard]] bool headersDone() const { return m_status != 0; }
    // 0 until the headers are done.
    [[nodiscard]] int status() const { return m_status; }
    [[nodiscard]] const QByteArray& body() const { return m_body; }
    [[nodiscard]] QByteArray takeBody() { return std::move(m_body); }
    // Whether the connection may carry the next request once this response completed.
    [[nodiscard]] bool keepAlive() const { return m_keepAlive; }
    [[nodiscard]] qsizetype surplus() const { return m_surplus; }

    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;

private:
    enum class Part { statusLine, headerLine, chunkSize, chunkData, chunkEnd, trailer, data };
    enum class Framing { none, length, chunked, untilClose };

    State fail();
    // The next whole line (without its line end) from `bytes`, joined with what earlier
    // pieces left in m_line; false, keeping the piece, while the line is unfinished.
    bool takeLine(QByteArrayView& bytes, QByteArrayView& line);
    bool statusLine(QByteArrayView line);
    bool headerLine(QByteArrayView line);
    bool headersEnded();
    bool chunkSizeLine(QByteArrayView line);
    bool appendBody(QByteArrayView bytes);
    State complete();

    const qint64 m_bodyCap;
    State m_state = State::reading;
    Part m_part = Part::statusLine;
    Framing m_framing = Framing::untilClose;
    QByteArray m_line;
    qsizetype m_headerBytes = 0;
    int m_pendingStatus = 0;
    int m_status = 0;
    bool m_http10 = false;
    bool m_keepAlive = false;
    bool m_closeAsked = false;
    bool m_keepAliveAsked = false;
    qint64 m_contentLength = -1;
    qint64 m_remaining = 0; // of the body, or of the current chunk
    QByteArray m_body;
    qsizetype m_surplus = 0;
};

} // namespace vxr
