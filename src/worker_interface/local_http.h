#pragma once

#include "core/timing.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace vxr {

class HttpResponse;

// Largest body accepted from the local service. A misbehaving process on the port
// could otherwise make us buffer without bound; a bigger body counts as no answer.
inline constexpr qint64 kLocalBodyCap = 8 * 1024 * 1024;

struct LocalReply {
    // An HTTP response arrived, whatever its status code.
    bool answered = false;
    // The HTTP status code, 0 when none arrived.
    int status = 0;
    // The whole body, when the transfer completed without a transport error and
    // within the cap. HTTP error statuses still carry their body.
    std::optional<QByteArray> body;
};

// GET requests to the local service, one at a time, over one connection that is kept
// open between them (the polls ask every 1.5 s). It runs on the thread it lives on,
// with no thread and no request machinery of its own: a general HTTP stack costs
// several times more per request than the poll itself. Proxies are never used.
class LocalHttpClient : public QObject {
    Q_OBJECT
public:
    explicit LocalHttpClient(QObject* parent = nullptr);
    ~LocalHttpClient() override;

    // Sends a GET for `url` (http only). `done` runs once with the outcome, unless
    // cancel(), a newer get() or the client's deletion comes first; it runs last and may
    // delete the client. The request fails, without a body, once `deadline` has passed
    // since it was sent or as soon as more than `bodyCap` bytes of body have arrived or
    // been announced, whatever the transfer coding: an idle timeout alone would never
    // end a peer that trickles. A connection kept from the previous request that turns
    // out closed is replaced once, before anything of the answer arrived.
    void get(const QUrl& url, Millis deadline, std::function<void(const LocalReply&)> done,
             qint64 bodyCap = kLocalBodyCap);
    // Drops the request in flight, and with it its connection; `done` never runs.
    void cancel();
    // cancel(), and closes a connection kept for the next request.
    void close();
    [[nodiscard]] bool busy() const { return bool(m_done); }

private:
    void send();
    // Sends the request on the kept connection at once; false when it is left to the
    // socket's own write.
    bool sendOnKeptConnection();
    void openConnection();
    void dropConnection();
    // Runs a handler of the socket's signals, which may end with our deletion.
    void fromSocket(void (LocalHttpClient::*handler)());
    void received();
    void connectionEnded();
    void finish();

    QTcpSocket* m_socket = nullptr;
    QString m_host;
    quint16 m_port = 0;
    bool m_kept = false; // m_socket carried a whole response and may carry the next
    QByteArray m_request;
    qint64 m_bodyCap = kLocalBodyCap;
    std::unique_ptr<HttpResponse> m_response;
    bool m_reused = false;        // the request went out on a kept connection
    bool m_answerStarted = false; // some of the answer arrived
    bool m_retried = false;
    std::function<void(const LocalReply&)> m_done;
    QTimer m_deadline;
    int m_inSocketSignal = 0;
};

} // namespace vxr
