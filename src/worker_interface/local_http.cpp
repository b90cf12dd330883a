#include "worker_interface/local_http.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>
#include <memory>

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

QNetworkReply* getLocal(QNetworkAccessManager* session, const QUrl& url, Millis timeout,
                        std::function<void(const LocalReply&)> done, qint64 bodyCap) {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    QNetworkReply* reply = session->get(request);
    // Without a limit the network thread buffers the whole body, however large, before
    // the cap below gets to see it.
    reply->setReadBufferSize(std::min<qint64>(bodyCap + 1, 256 * 1024));

    struct State {
        QByteArray body;
        bool answered = false;
        bool overCap = false;
    };
    auto state = std::make_shared<State>();

    // All connections use the reply as context, so deleting the reply drops them.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, state, bodyCap] {
        state->answered = state->answered || hasStatus(reply);
        // A body announced as too big is refused before a byte of it is read.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!state->overCap && length.isValid() && length.toLongLong() > bodyCap) {
            state->overCap = true;
            reply->abort(); // emits finished
        }
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, [reply, state, bodyCap] {
        if (state->overCap)
            return;
        state->body += reply->readAll();
        if (state->body.size() > bodyCap) {
            state->overCap = true;
            state->body.clear();
            reply->abort(); // emits finished
        }
    });
    QObject::connect(
        reply, &QNetworkReply::finished, reply, [reply, state, bodyCap, done = std::move(done)] {
            // Detach first: `done` may delete the reply's owner while we are in its signal.
            reply->setParent(nullptr);
            reply->deleteLater();
            LocalReply result;
            result.answered = state->answered || hasStatus(reply);
            result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (!state->overCap) {
                if (reply->isOpen())
                    state->body += reply->readAll();
                const auto error = reply->error();
                const bool whole = error == QNetworkReply::NoError || isHttpStatusError(error);
                if (whole && state->body.size() <= bodyCap)
                    result.body = std::move(state->body);
            }
            done(result);
        });
    return reply;
}

} // namespace vxr
