// vxr-evaluator-start: the stand-in evaluator. It polls the stand-in service for
// slices and runs each in a child process (itself in --burn mode). A demo and
// test peer for the application, not part of it.
#include "burn.h"
#include "signal_watcher.h"
#include "sim_config.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

using namespace vxr::sim;

namespace {

void say(const QString& line) {
    const QByteArray bytes = "evaluator: " + line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int burnMain(const QStringList& args) {
    BurnOrder order;
    for (const QString& a : args) {
        const QString value = a.section(QLatin1Char('='), 1);
        if (a.startsWith(QLatin1String("--ms=")))
            order.milliseconds = value.toInt();
        else if (a.startsWith(QLatin1String("--mb=")))
            order.megabytes = value.toDouble();
        else if (a.startsWith(QLatin1String("--threads=")))
            order.threads = value.toInt();
        else if (a.startsWith(QLatin1String("--load=")))
            order.load = value.toDouble();
    }
    return runBurn(order);
}

class Evaluator {
public:
    Evaluator(QCoreApplication& app, bool webgpu, bool singleThreaded)
        : m_app(app)
        , m_webgpu(webgpu)
        , m_singleThreaded(singleThreaded)
        , m_url(QStringLiteral("http://127.0.0.1:%1/evaluator/poll").arg(simPort()))
        , m_parent(::getpid()) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_app, [this] { poll(); });
    }

    void start() { poll(); }

    // Children first, then this process: nothing of the evaluator outlives it.
    void shutdown() {
        m_stopping = true;
        m_timer.stop();
        if (!m_slices.isEmpty())
            say(QStringLiteral("stopping %1 running slice(s)").arg(m_slices.size()));
        for (QProcess* p : std::as_const(m_slices))
            p->terminate();
        for (QProcess* p : std::as_const(m_slices))
            if (!p->waitForFinished(3000))
                p->kill();
        m_app.quit();
    }

private:
    void poll() {
        if (m_stopping)
            return;
        QJsonArray running;
        for (auto it = m_slices.cbegin(); it != m_slices.cend(); ++it)
            running.append(it.key());
        const QJsonObject body{{QStringLiteral("pid"), qint64(::getpid())},
                               {QStringLiteral("webgpu"), m_webgpu},
                               {QStringLiteral("singleThreaded"), m_singleThreaded},
                               {QStringLiteral("running"), running},
                               {QStringLiteral("done"), m_done}};
        QNetworkRequest request{QUrl(m_url)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setTransferTimeout(3000);
        const int reported = int(m_done.size());
        QNetworkReply* reply =
            m_network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
        QObject::connect(reply, &QNetworkReply::finished, &m_app, [this, reply, reported] {
            reply->deleteLater();
            if (m_stopping)
                return;
            if (reply->error() != QNetworkReply::NoError) {
                if (m_connected)
                    say(QStringLiteral("service not answering (%1); retrying")
                            .arg(reply->errorString()));
                m_connected = false;
                m_timer.start(1000);
                return;
            }
            if (!m_connected)
                say(QStringLiteral("connected to the worker service at %1").arg(m_url));
            m_connected = true;
            // Reports made before this request are delivered; later ones wait.
            for (int i = 0; i < reported && !m_done.isEmpty(); ++i)
                m_done.removeFirst();
            const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
            for (const QJsonValue& id : answer.value(QLatin1String("stop")).toArray())
                if (QProcess* p = m_slices.value(id.toString())) {
                    say(QStringLiteral("slice %1 no longer wanted").arg(id.toString()));
                    p->terminate();
                }
            for (const QJsonValue& order : answer.value(QLatin1String("start")).toArray())
                startSlice(order.toObject());
            m_timer.start(300);
        });
    }

    void startSlice(const QJsonObject& order) {
        const QString id = order.value(QLatin1String("slice")).toString();
        if (id.isEmpty() || m_slices.contains(id))
            return;
        auto* process = new QProcess(&m_app);
        const pid_t parent = m_parent;
        process->setChildProcessModifier([parent] {
            // A slice never outlives its evaluator, even one that is killed.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::signal(SIGTERM, SIG_DFL);
            if (::getppid() != parent)
                ::_exit(1);
        });
        process->setProcessChannelMode(QProcess::SeparateChannels);
        const QStringList args{
            QStringLiteral("--burn"),
            QStringLiteral("--slice=") + id,
            QStringLiteral("--ms=%1").arg(order.value(QLatin1String("ms")).toInt()),
            QStringLiteral("--mb=%1").arg(order.value(QLatin1String("mb")).toDouble()),
            QStringLiteral("--threads=%1").arg(order.value(QLatin1String("threads")).toInt(1)),
            QStringLiteral("--load=%1").arg(order.value(QLatin1String("load")).toDouble(0.5))};
        QObject::connect(process, &QProcess::finished, &m_app,
                         [this, process, id](int code, QProcess::ExitStatus status) {
                             finishSlice(process, id, code, status);
                         });
        m_slices.insert(id, process);
        process->start(QCoreApplication::applicationFilePath(), args);
        if (!process->waitForStarted(5000)) {
            say(QStringLiteral("slice %1 could not start: %2").arg(id, process->errorString()));
            m_slices.remove(id);
            m_done.append(
                QJsonObject{{QStringLiteral("slice"), id}, {QStringLiteral("ok"), false}});
            process->deleteLater();
            return;
        }
        say(QStringLiteral("slice %1 started in sandbox %2 (pid %3, %4 ms, %5 MB)")
                .arg(id)
                .arg(order.value(QLatin1String("sandbox")).toInt())
                .arg(process->processId())
                .arg(order.value(QLatin1String("ms")).toInt())
                .arg(order.value(QLatin1String("mb")).toDouble()));
    }

    void finishSlice(QProcess* process, const QString& id, int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (m_slices.value(id) != process)
            return;
        m_slices.remove(id);
        if (m_stopping)
            return;
        QJsonObject report{{QStringLiteral("slice"), id}};
        const QString out = QString::fromUtf8(process->readAllStandardOutput());
        const bool ok = status == QProcess::NormalExit && code == 0 &&
                        out.contains(QLatin1String("slice-result"));
        report.insert(QStringLiteral("ok"), ok);
        for (const QString& field : out.simplified().split(QLatin1Char(' '))) {
            if (field.startsWith(QLatin1String("cpuMs=")))
                report.insert(QStringLiteral("cpuMs"), field.mid(6).toDouble());
            else if (field.startsWith(QLatin1String("peakBytes=")))
                report.insert(QStringLiteral("peakBytes"), field.mid(10).toDouble());
        }
        say(ok ? QStringLiteral("slice %1 finished").arg(id)
               : QStringLiteral("slice %1 ended without a result").arg(id));
        m_done.append(report);
    }

    QCoreApplication& m_app;
    bool m_webgpu;
    bool m_singleThreaded;
    QString m_url;
    pid_t m_parent;
    QNetworkAccessManager m_network;
    QTimer m_timer;
    QHash<QString, QProcess*> m_slices;
    QJsonArray m_done;
    bool m_connected = false;
    bool m_stopping = false;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && qstrcmp(argv[1], "--burn") == 0) {
        QStringList args;
        for (int i = 2; i < argc; ++i)
            args.append(QString::fromLocal8Bit(argv[i]));
        return burnMain(args);
    }
    // As the service does: a killed parent leaves an orphan that lives on.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    recordInvocation(QStringLiteral("evaluator"), args);
    const Misbehaviour misbehaviour = misbehaviourFor(QStringLiteral("evaluator"));
    if (misbehaviour.exitAtOnce) {
        say(QStringLiteral("exiting at once with status %1 (VXR_SIM_EXIT_AT_ONCE)")
                .arg(misbehaviour.exitStatus));
        return misbehaviour.exitStatus;
    }
    const bool webgpu = args.contains(QLatin1String("--webgpu"));
    const bool singleThreaded = args.contains(QLatin1String("--single-threaded"));
    say(QStringLiteral("stand-in evaluator starting (pid %1%2%3)")
            .arg(::getpid())
            .arg(webgpu ? QStringLiteral(", WebGPU") : QString())
            .arg(singleThreaded ? QStringLiteral(", single-threaded") : QString()));
    if (misbehaviour.ignoreSigterm)
        say(QStringLiteral("ignoring SIGTERM (VXR_SIM_IGNORE_SIGTERM)"));
    if (misbehaviour.badOutput)
        std::fwrite("bad bytes: \xff\xfe\xc3\x28\n", 1, 16, stdout);

    Evaluator evaluator(app, webgpu, singleThreaded);
    SignalWatcher watcher(misbehaviour.ignoreSigterm);
    QObject::connect(&watcher, &SignalWatcher::terminateRequested, &app, [&](int number) {
        say(QStringLiteral("signal %1 received, shutting down").arg(number));
        evaluator.shutdown();
    });
    evaluator.start();
    return watcher.endAsAsked(app.exec());
}
