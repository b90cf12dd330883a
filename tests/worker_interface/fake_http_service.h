#pragma once

// A stand-in for the worker service's local HTTP interface: fixed answers per path,
// request counting, and paths that accept a request but never answer.

#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

namespace vxr::test {

class FakeHttpService : public QObject {
public:
    struct Route {
        int status = 200;
        QByteArray body;
        bool hang = false; // accept the request, never answer
    };

    FakeHttpService() {
        connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpService::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
    }

    [[nodiscard]] QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    void setRoute(const QString& path, Route route) { m_routes.insert(path, std::move(route)); }
    void answer(const QString& path, int status, const QByteArray& body) {
        setRoute(path, {status, body, false});
    }
    [[nodiscard]] int hits(const QString& path) const { return m_hits.value(path); }
    // Connections the server holds without having answered yet.
    [[nodiscard]] int openConnections() const {
        int open = 0;
        for (const auto& socket : m_sockets)
            open += socket && socket->state() == QAbstractSocket::ConnectedState;
        return open;
    }
    // Stops accepting connections (the service went away); the port stays reserved
    // by nobody, so requests are refused.
    void close() { m_server.close(); }
    void reopen() { m_server.listen(QHostAddress::LocalHost, m_port); }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            m_sockets.append(socket);
            // Owned by the connection below, which goes with the socket or with us.
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (!buffer->contains("\r\n\r\n"))
                    return;
                const QList<QByteArray> requestLine =
                    buffer->left(buffer->indexOf("\r\n")).split(' ');
                const QString path = QString::fromLatin1(requestLine.value(1));
                buffer->clear();
                ++m_hits[path];
                const Route route = m_routes.value(path, Route{404, "not found", false});
                if (route.hang)
                    return;
                QByteArray reply =
                    "HTTP/1.1 " + QByteArray::number(route.status) + " X\r\n" +
                    "Content-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                    QByteArray::number(route.body.size()) + "\r\n\r\n" + route.body;
                socket->write(reply);
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer m_server;
    quint16 m_port = 0;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_hits;
    QList<QPointer<QTcpSocket>> m_sockets;
};

} // namespace vxr::test
