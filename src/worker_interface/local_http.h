#pragma once

#include "core/timing.h"

#include <QByteArray>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace vxr {

// Largest body accepted from the local service. A misbehaving process on the port
// could otherwise make us buffer without bound; a bigger body counts as no answer.
inline constexpr qint64 kLocalBodyCap = 8 * 1024 * 1024;

// The one HTTP session for the local service, created on first use as a child of
// the application object. GUI thread only. Proxies are never used for it.
[[nodiscard]] QNetworkAccessManager* localHttpSession();

struct LocalReply {
    // An HTTP response arrived, whatever its status code.
    bool answered = false;
    // The HTTP status code, 0 when none arrived.
    int status = 0;
    // The whole body, when the transfer completed without a transport error and
    // within the cap. HTTP error statuses still carry their body.
    std::optional<QByteArray> body;
};

// One GET. `done` runs once on the reply's completion, unless the returned reply
// is deleted first (deleting it aborts the request and drops the callback); the
// caller parents the reply to whatever owns the request. The reply deletes itself
// after `done`, which may therefore delete its former parent safely.
// The request is aborted, and answers no body, once `deadline` has passed since it was
// sent or as soon as more than `bodyCap` bytes of body have arrived, whatever the
// transfer encoding: an idle timeout alone never ends a peer that trickles.
QNetworkReply* getLocal(QNetworkAccessManager* session, const QUrl& url, Millis deadline,
                        std::function<void(const LocalReply&)> done,
                        qint64 bodyCap = kLocalBodyCap);

} // namespace vxr
