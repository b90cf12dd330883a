#include "sim_peer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTcpServer>

#include <csignal>

namespace simtest {

namespace {

const QString kBinDir = QStringLiteral(VXR_BINARY_DIR "/lib/vxr-worker");

} // namespace

const QByteArray kSchedule = QByteArray(24, '0') + QByteArray(66, 'a') + QByteArray(6, '5');

const QByteArray kFastConfig = R"({
    "jobs": [
        {"id": "jobAlpha0123456789", "name": "Alpha", "cgId": "global", "sliceSeconds": 0.4,
         "sliceMB": 24, "cpuLoad": 0.5, "credit": 0.5},
        {"id": "jobBeta", "name": "Beta", "cgId": "lab", "global": false, "sliceSeconds": 0.4,
         "sliceMB": 24, "cpuLoad": 0.5, "credit": 0.25}
    ],
    "slicesPerTask": [3, 4], "fetchSeconds": 0.1, "finishedSeconds": 0.2, "reserveMB": 0,
    "mismatchKeys": ["0123456789abcdef0123456789abcdef"],
    "throttle": {"timezone": "Europe/Paris", "schedule": ")" +
                               kSchedule + R"("}
})";

bool alive(qint64 pid) {
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    // A zombie waiting for its parent has finished all the same.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> pids;
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& p : file.readAll().simplified().split(' '))
            if (!p.isEmpty())
                pids.append(p.toLongLong());
    return pids;
}

QByteArray commandLine(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', ' ') : QByteArray();
}

QJsonObject unwrap(const QByteArray& body, bool dropSemicolon) {
    const int eq = body.indexOf('=');
    if (eq < 0)
        return {};
    QByteArray json = body.mid(eq + 1);
    if (dropSemicolon && json.endsWith(';'))
        json.chop(1);
    return QJsonDocument::fromJson(json).object();
}

SimPeer::SimPeer() {
    QTcpServer probe;
    if (probe.listen(QHostAddress::LocalHost, 0))
        m_port = probe.serverPort();
    writeConfig(kFastConfig);
}

SimPeer::~SimPeer() {
    for (QProcess* p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
        delete p;
    }
}

void SimPeer::writeConfig(const QByteArray& text) {
    QFile file(m_home.filePath(QStringLiteral("vxr-sim.json")));
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

QProcess* SimPeer::start(const QString& script, const QStringList& args,
                         const QMap<QString, QString>& env) {
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("VXR_SIM_PORT"), QString::number(m_port));
    environment.insert(QStringLiteral("VXR_SIM_CONFIG"),
                       m_home.filePath(QStringLiteral("vxr-sim.json")));
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(kBinDir + QLatin1Char('/') + script, args);
    m_processes.push_back(process);
    return process;
}

std::pair<int, QString> SimPeer::oneShot(const QString& argument) {
    QProcess* p = start(QStringLiteral("vxr-worker.sh"), {argument});
    if (!p->waitForFinished(10000))
        return {-1, QString()};
    return {p->exitCode(), QString::fromUtf8(p->readAll())};
}

QByteArray SimPeer::get(const QString& path, int* elapsedMs) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path)));
    request.setTransferTimeout(5000);
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(6000))
        return {};
    if (elapsedMs)
        *elapsedMs = int(timer.elapsed());
    return reply->error() == QNetworkReply::NoError ||
                   reply->error() == QNetworkReply::ContentNotFoundError
               ? reply->readAll()
               : QByteArray();
}

} // namespace simtest
