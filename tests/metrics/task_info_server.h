#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A tiny HTTP server on an ephemeral port that answers every GET with the next queued
// body (the last one repeats), for tests of code that polls the worker service.
class TaskInfoServer : public QObject {
public:
    explicit TaskInfoServer(QObject* parent = nullptr)
        : QObject(parent) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    m_request.clear();
                    ++requests;
                    const QByteArray body =
                        bodies.isEmpty()
                            ? QByteArray()
                            : (bodies.size() > 1 ? bodies.takeFirst() : bodies.first());
                    socket->write("HTTP/1.1 " + status +
                                  "\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: " +
                                  QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    [[nodiscard]] QUrl url(const QString& path = QStringLiteral("/worker/task-info")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    QList<QByteArray> bodies;
    QByteArray status = "200 OK";
    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_request;
};
