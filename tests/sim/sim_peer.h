#pragma once

// Runs the built stand-in worker programs as real processes, each test with its
// own HOME, configuration and free port; every process started is ended in cleanup.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <utility>
#include <vector>

class QProcess;

namespace simtest {

// 00:00-06:00 no computing, 06:00-22:30 unthrottled, 22:30-24:00 at 50%.
extern const QByteArray kSchedule;
// Small, fast jobs so slices finish within a test.
extern const QByteArray kFastConfig;

[[nodiscard]] bool alive(qint64 pid);
[[nodiscard]] QList<qint64> childrenOf(qint64 pid);
[[nodiscard]] QByteArray commandLine(qint64 pid);
// The envelope as the application reads it: after the first "=", with one
// trailing ";" dropped for task-info.
[[nodiscard]] QJsonObject unwrap(const QByteArray& body, bool dropSemicolon);

class SimPeer {
public:
    SimPeer();
    ~SimPeer();
    [[nodiscard]] bool isValid() const { return m_home.isValid() && m_port != 0; }
    [[nodiscard]] QString path(const QString& name) const { return m_home.filePath(name); }
    void writeConfig(const QByteArray& text);
    QProcess* start(const QString& script, const QStringList& args,
                    const QMap<QString, QString>& env = {});
    std::pair<int, QString> oneShot(const QString& argument);
    QByteArray get(const QString& path, int* elapsedMs = nullptr);
    QJsonObject taskInfo() { return unwrap(get(QStringLiteral("/worker/task-info")), true); }

private:
    QTemporaryDir m_home;
    quint16 m_port = 0;
    QNetworkAccessManager m_network;
    std::vector<QProcess*> m_processes;
};

} // namespace simtest
