#include "worker_interface/local_http.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace vxr {

QNetworkAccessManager* localHttpSession() {
    static QPointer<QNetworkAccessManager> session;
    if (!session) {
        session = new QNetworkAccessManager(QCoreApplication::instance());
        // The service is on the loopback address; an http_proxy in the environment
        // must not see (or break) these requests.
        session->setProxy(QNetworkProxy::NoProxy);
    }
    return session;
}

namespace {
// Errors that stand for an HTTP status (4xx, 5xx): the response itself arrived whole.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

bool hasStatus(const QNetworkReply* reply) {
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}
} // namespace

QNetworkReply* getLocal(QNetworkAccessManager* session, const QUrl& url, Millis deadline,
                        std::function<void(const LocalReply&)> done, qint64 bodyCap) {
    QNetworkReply* reply = session->get(QNetworkRequest(url));
    // Without a limit the network thread buffers the whole body, however large, before
    // the cap below gets to see it.
    reply->setReadBufferSize(std::min<qint64>(bodyCap + 1, 256 * 1024));

    struct State {
        QByteArray body;
        bool answered = false;
        bool refused = false; // over the cap or past the deadline
    };
    auto state = std::make_shared<State>();
    const auto refuse = [reply, state] {
        if (std::exchange(state->refused, true))
            return;
        state->body.clear();
        reply->abort(); // emits finished
    };

    // The timer is the reply's child: it goes with the reply.
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, refuse);
    timer->start(deadline);

    // All connections use the reply as context, so deleting the reply drops them.
    QObject::connect(
        reply, &QNetworkReply::metaDataChanged, reply, [reply, state, bodyCap, refuse] {
            state->answered = state->answered || hasStatus(reply);
            // A body announced as too big is refused before a byte of it is read.
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > bodyCap)
                refuse();
        });
    // Counted as it arrives, chunked or not, before it is all buffered.
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [bodyCap, refuse](qint64 received, qint64) {
                         if (received > bodyCap)
                             refuse();
                     });
    QObject::connect(reply, &QIODevice::readyRead, reply, [reply, state, bodyCap, refuse] {
        if (state->refused)
            return;
        // Only what has arrived: read(n) allocates n bytes up front, and the cap is
        // megabytes.
        const qint64 room = bodyCap + 1 - state->body.size();
        state->body += reply->read(std::min(reply->bytesAvailable(), room));
        if (state->body.size() > bodyCap)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, timer, state, bodyCap, done = std::move(done)] {
                         timer->stop();
                         // Detach first: `done` may delete the reply's owner while we are in its
                         // signal.
                         reply->setParent(nullptr);
                         reply->deleteLater();
                         LocalReply result;
                         result.answered = state->answered || hasStatus(reply);
                         result.status =
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                         if (!state->refused) {
                             if (reply->isOpen())
                                 state->body += reply->readAll();
                             const auto error = reply->error();
                             const bool whole =
                                 error == QNetworkReply::NoError || isHttpStatusError(error);
                             if (whole && state->body.size() <= bodyCap)
                                 result.body = std::move(state->body);
                         }
                         done(result);
                     });
    return reply;
}

} // namespace vxr
