#include "worker_interface/local_http.h"

#include "worker_interface/http_response.h"

#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>

#include <utility>

#include <sys/socket.h>

namespace vxr {

namespace {

QByteArray requestFor(const QUrl& url) {
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() >= 0)
        host += ':' + QByteArray::number(url.port());
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
}

} // namespace

LocalHttpClient::LocalHttpClient(QObject* parent)
    : QObject(parent) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        dropConnection(); // mid-answer: it cannot carry another request
        finish();
    });
}

LocalHttpClient::~LocalHttpClient() {
    m_done = nullptr;
    dropConnection();
}

void LocalHttpClient::get(const QUrl& url, Millis deadline,
                          std::function<void(const LocalReply&)> done, qint64 bodyCap) {
    cancel();
    const quint16 port = quint16(url.port(80));
    if (url.host() != m_host || port != m_port)
        dropConnection();
    m_host = url.host();
    m_port = port;
    m_request = requestFor(url);
    m_bodyCap = bodyCap;
    m_done = std::move(done);
    m_retried = false;
    m_deadline.start(deadline);
    send();
}

void LocalHttpClient::cancel() {
    if (!m_done)
        return;
    m_done = nullptr;
    m_response.reset();
    m_deadline.stop();
    dropConnection();
}

void LocalHttpClient::close() {
    cancel();
    dropConnection();
}

void LocalHttpClient::send() {
    m_response = std::make_unique<HttpResponse>(m_bodyCap);
    m_answerStarted = false;
    m_reused = m_kept && m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    if (!m_reused) {
        dropConnection();
        openConnection();
    }
    m_kept = false;
    if (m_reused && sendOnKeptConnection())
        return;
    // Written at once even while connecting: the socket sends it once connected.
    m_socket->write(m_request);
}

bool LocalHttpClient::sendOnKeptConnection() {
    // Straight to the kernel: a write through the socket arms its write notifier and
    // disarms it once sent, and with the GLib dispatcher each of those wakes the event
    // loop once more. An idle connection takes a request this small whole.
    if (m_socket->bytesToWrite() > 0)
        return false;
    const ssize_t sent = ::send(int(m_socket->socketDescriptor()), m_request.constData(),
                                size_t(m_request.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == m_request.size())
        return true;
    if (sent <= 0) // the socket's own write meets the error and reports it
        return false;
    m_socket->write(m_request.mid(sent));
    m_socket->flush();
    return true;
}

void LocalHttpClient::openConnection() {
    m_socket = new QTcpSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy); // the service is on the loopback address
    connect(m_socket, &QTcpSocket::readyRead, this,
            [this] { fromSocket(&LocalHttpClient::received); });
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { fromSocket(&LocalHttpClient::connectionEnded); });
    connect(m_socket, &QTcpSocket::errorOccurred, this,
            [this] { fromSocket(&LocalHttpClient::connectionEnded); });
    m_socket->connectToHost(m_host, m_port);
}

void LocalHttpClient::dropConnection() {
    m_kept = false;
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    // A socket must not be deleted inside its own signal; nor may it go with us then.
    if (m_inSocketSignal > 0) {
        socket->setParent(nullptr);
        socket->deleteLater();
    } else {
        delete socket;
    }
}

void LocalHttpClient::fromSocket(void (LocalHttpClient::*handler)()) {
    ++m_inSocketSignal;
    const QPointer<LocalHttpClient> alive(this);
    (this->*handler)(); // may delete us, through `done`
    if (alive)
        --m_inSocketSignal;
}

void LocalHttpClient::received() {
    const QByteArray bytes = m_socket->readAll();
    if (!m_response) { // nothing was asked: not a peer to keep talking to
        dropConnection();
        return;
    }
    m_answerStarted = m_answerStarted || !bytes.isEmpty();
    const HttpResponse::State state = m_response->feed(bytes);
    if (state == HttpResponse::State::reading)
        return;
    if (state == HttpResponse::State::complete && m_response->keepAlive() &&
        m_response->surplus() == 0)
        m_kept = true;
    else
        dropConnection();
    finish();
}

void LocalHttpClient::connectionEnded() {
    if (!m_response) { // the peer closed a connection kept for the next request
        dropConnection();
        return;
    }
    const QByteArray rest = m_socket->readAll(); // what came before the end
    m_answerStarted = m_answerStarted || !rest.isEmpty();
    m_response->feed(rest);
    // A kept connection may have been closed by the peer just as the request went out.
    if (m_response->state() == HttpResponse::State::reading && m_reused && !m_answerStarted &&
        !std::exchange(m_retried, true)) {
        send();
        return;
    }
    m_response->closed();
    dropConnection();
    finish();
}

void LocalHttpClient::finish() {
    m_deadline.stop();
    LocalReply reply;
    reply.answered = m_response->headersDone();
    reply.status = m_response->status();
    if (m_response->state() == HttpResponse::State::complete)
        reply.body = m_response->takeBody();
    m_response.reset();
    const std::function<void(const LocalReply&)> done = std::exchange(m_done, nullptr);
    done(reply); // last: it may delete us
}

} // namespace vxr
