#include "worker_interface/http_response.h"

#include "core/number_text.h"

#include <QList>

#include <algorithm>

namespace vxr {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The comma-separated tokens of a field value, trimmed and lower-cased.
QList<QByteArray> tokens(QByteArrayView value) {
    QList<QByteArray> result;
    for (const QByteArrayView token : value.toByteArray().split(','))
        result.append(token.trimmed().toByteArray().toLower());
    return result;
}

} // namespace

HttpResponse::HttpResponse(qint64 bodyCap)
    : m_bodyCap(bodyCap) {}

HttpResponse::State HttpResponse::fail() {
    m_state = State::failed;
    m_keepAlive = false;
    m_body.clear();
    return m_state;
}

HttpResponse::State HttpResponse::complete() {
    m_state = State::complete;
    return m_state;
}

bool HttpResponse::takeLine(QByteArrayView& bytes, QByteArrayView& line) {
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0) {
        m_line += bytes;
        bytes = {};
        return false;
    }
    if (m_line.isEmpty()) {
        line = bytes.first(end);
    } else {
        m_line += bytes.first(end);
        line = m_line;
    }
    bytes = bytes.sliced(end + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

bool HttpResponse::statusLine(QByteArrayView line) {
    // "HTTP/1.x NNN reason", the reason optional.
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line[7]) || line[8] != ' ')
        return false;
    if (!isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]) ||
        (line.size() > 12 && line[12] != ' '))
        return false;
    m_pendingStatus = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    m_http10 = line[7] == '0';
    // No upgrade is ever asked for, so a switch of protocols is not an answer we can read.
    return m_pendingStatus >= 100 && m_pendingStatus != 101;
}

bool HttpResponse::headerLine(QByteArrayView line) {
    const qsizetype colon = line.indexOf(':');
    // A continuation line or a line without a name carries nothing read here.
    if (colon <= 0 || line[0] == ' ' || line[0] == '\t')
        return true;
    const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (name == "content-length") {
        if (value.isEmpty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), isDigit))
            return false;
        const qint64 length = value.toLongLong();
        // Repeated, it must agree with itself: otherwise the framing is ambiguous.
        if (m_contentLength >= 0 && m_contentLength != length)
            return false;
        m_contentLength = length;
    } else if (name == "transfer-encoding") {
        const QList<QByteArray> codings = tokens(value);
        m_framing = codings.last() == "chunked" ? Framing::chunked : Framing::untilClose;
    } else if (name == "connection") {
        for (const QByteArray& option : tokens(value)) {
            m_closeAsked = m_closeAsked || option == "close";
            m_keepAliveAsked = m_keepAliveAsked || option == "keep-alive";
        }
    }
    return true;
}

bool HttpResponse::headersEnded() {
    if (m_pendingStatus < 200) { // interim: the real response follows
        m_part = Part::statusLine;
        m_framing = Framing::untilClose;
        m_contentLength = -1;
        m_closeAsked = m_keepAliveAsked = false;
        return true;
    }
    m_status = m_pendingStatus;
    if (m_framing == Framing::untilClose && m_contentLength >= 0)
        m_framing = Framing::length; // no transfer coding: the length frames the body
    if (m_status == 204 || m_status == 304)
        m_framing = Framing::none;
    m_keepAlive =
        !m_closeAsked && (!m_http10 || m_keepAliveAsked) && m_framing != Framing::untilClose;
    switch (m_framing) {
    case Framing::none:
        complete();
        return true;
    case Framing::length:
        if (m_contentLength > m_bodyCap)
            return false; // refused before a byte of it is read
        if (m_contentLength == 0) {
            complete();
            return true;
        }
        m_body.reserve(m_contentLength);
        m_remaining = m_contentLength;
        m_part = Part::data;
        return true;
    case Framing::chunked:
        m_part = Part::chunkSize;
        return true;
    case Framing::untilClose:
        m_part = Part::data;
        return true;
    }
    return false;
}

bool HttpResponse::chunkSizeLine(QByteArrayView line) {
    qint64 size = 0;
    qsizetype digits = 0;
    for (; digits < line.size() && hexDigitValue(line[digits]) >= 0; ++digits) {
        size = size * 16 + hexDigitValue(line[digits]);
        if (size > m_bodyCap - m_body.size())
            return false;
    }
    // Extensions after ";" (and blanks before it) are allowed and ignored.
    if (digits == 0 || (digits < line.size() && line[digits] != ';' && line[digits] != ' ' &&
                        line[digits] != '\t'))
        return false;
    m_remaining = size;
    m_part = size == 0 ? Part::trailer : Part::chunkData;
    return true;
}

bool HttpResponse::appendBody(QByteArrayView bytes) {
    if (m_body.size() + bytes.size() > m_bodyCap)
        return false;
    m_body += bytes;
    return true;
}

HttpResponse::State HttpResponse::feed(QByteArrayView bytes) {
    while (m_state == State::reading && !bytes.isEmpty()) {
        if (m_part == Part::data || m_part == Part::chunkData) {
            const qsizetype take = m_framing == Framing::untilClose
                                       ? bytes.size()
                                       : qsizetype(std::min<qint64>(bytes.size(), m_remaining));
            if (!appendBody(bytes.first(take)))
                return fail();
            bytes = bytes.sliced(take);
            if (m_framing == Framing::untilClose)
                continue;
            m_remaining -= take;
            if (m_remaining == 0 && m_part == Part::data)
                complete();
            else if (m_remaining == 0)
                m_part = Part::chunkEnd;
            continue;
        }
        QByteArrayView line;
        const bool whole = takeLine(bytes, line);
        const bool inHeaders =
            m_part == Part::statusLine || m_part == Part::headerLine || m_part == Part::trailer;
        if (inHeaders)
            m_headerBytes += whole ? line.size() + 1 : 0;
        if (m_line.size() > kMaxHeaderBytes || m_headerBytes > kMaxHeaderBytes)
            return fail();
        if (!whole)
            break;
        bool ok = true;
        switch (m_part) {
        case Part::statusLine:
            ok = statusLine(line);
            m_part = Part::headerLine;
            break;
        case Part::headerLine:
            ok = line.isEmpty() ? headersEnded() : headerLine(line);
            break;
        case Part::chunkSize:
            ok = chunkSizeLine(line);
            break;
        case Part::chunkEnd:
            ok = line.isEmpty();
            m_part = Part::chunkSize;
            break;
        case Part::trailer:
            if (line.isEmpty())
                complete();
            break;
        case Part::data:
        case Part::chunkData:
            break;
        }
        m_line.clear();
        if (!ok)
            return fail();
    }
    if (m_state == State::complete)
        m_surplus += bytes.size();
    return m_state;
}

HttpResponse::State HttpResponse::closed() {
    if (m_state != State::reading)
        return m_state;
    if (m_part == Part::data && m_framing == Framing::untilClose)
        return complete();
    return fail();
}

} // namespace vxr
