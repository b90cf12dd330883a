// vxr-worker: the stand-in worker service and its one-shot commands. A demo and
// test peer for the application, not part of it.
#include "hud_page.h"
#include "live_switches.h"
#include "one_shot.h"
#include "signal_watcher.h"
#include "sim_config.h"
#include "simulation.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace vxr::sim;

namespace {

struct Answer {
    QByteArray body;
    QByteArray mime = "text/plain; charset=utf-8";
    QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
};

void writeOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

double totalMemoryBytes() {
    QFile file(QStringLiteral("/proc/meminfo"));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("MemTotal:"))
                return line.simplified().split(' ').value(1).toDouble() * 1024;
    return 8.0 * 1024 * 1024 * 1024;
}

// --max-old-space-size=N (MiB) from NODE_OPTIONS, as a script engine would honour it.
double heapLimitBytes() {
    double mib = 4096;
    for (const QString& option : qEnvironmentVariable("NODE_OPTIONS").split(QLatin1Char(' ')))
        if (option.startsWith(QLatin1String("--max-old-space-size=")))
            mib = option.section(QLatin1Char('='), 1).toDouble();
    return mib * 1024 * 1024;
}

QByteArray garbage() {
    QByteArray bytes("\xff\xfe<html>not what you expected \xc3\x28");
    for (int i = 0; i < 64; ++i)
        bytes.append(char(QRandomGenerator::global()->bounded(256)));
    return bytes.replace('=', '#');
}

// Output a capturing parent must cope with: invalid UTF-8, a very long line and
// a line written in two pieces.
void misbehaveOnOutput() {
    writeOut("bad bytes follow: \xff\xfe\xc3\x28 end\n");
    writeOut("long line: " + QByteArray(200000, 'x') + "\n");
    writeOut("this line arrives in two wri");
    QTimer::singleShot(50, [] { writeOut("tes and ends here\n"); });
}

// Bodies over the application's read cap, announced in Content-Length or, by turns,
// sent chunked so their length is never said.
void writeOversized(QHttpServerResponder& responder) {
    static bool chunked = false;
    chunked = !chunked;
    if (!chunked) {
        responder.write(oversizedBody(), "application/javascript");
        return;
    }
    responder.writeStatusLine();
    responder.writeHeader("Content-Type", "application/javascript");
    responder.writeHeader("Transfer-Encoding", "chunked");
    responder.writeBody(oversizedBodyChunked());
}

} // namespace

int main(int argc, char* argv[]) {
    // As a Node.js program does: a reader that went away (a killed parent) makes a
    // write fail, not the process die, so orphans live on until someone ends them.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    recordInvocation(QStringLiteral("worker"), args);
    QString configError;
    const SimConfig config = loadSimConfig(&configError);

    if (args.size() == 1) {
        if (oneShotHangs(args.first()))
            for (;;)
                ::pause();
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const auto status = runOneShotCommand(args.first(), config, out, err))
            return *status;
    }

    ServiceOptions options;
    QString pidFile;
    QStringList ignored;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QLatin1String("--max-sandboxes=")))
            options.maxSandboxes = std::clamp(a.section(QLatin1Char('='), 1).toInt(), 0, 64);
        else if (a == QLatin1String("-f") && i + 1 < args.size())
            pidFile = args[++i];
        else if (a == QLatin1String("--no-global"))
            options.joinGlobal = false;
        else if (a != QLatin1String("--output=stdio"))
            ignored.append(a);
    }

    auto logBook = std::make_shared<LogBook>();
    auto log = [logBook](const QString& line) {
        logBook->append(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) +
                        line);
        writeOut(line.toUtf8() + '\n');
    };
    const Misbehaviour misbehaviour = misbehaviourFor(QStringLiteral("worker"));
    if (misbehaviour.exitAtOnce) {
        log(QStringLiteral("exiting at once with status %1 (VXR_SIM_EXIT_AT_ONCE)")
                .arg(misbehaviour.exitStatus));
        return misbehaviour.exitStatus;
    }

    log(QStringLiteral("VXR worker stand-in starting (pid %1), a demo peer, not the real worker")
            .arg(::getpid()));
    if (!configError.isEmpty())
        log(QStringLiteral("configuration %1 unreadable (%2); using defaults")
                .arg(simConfigPath(), configError));
    if (!ignored.isEmpty())
        log(QStringLiteral("ignoring arguments: %1").arg(ignored.join(QLatin1Char(' '))));
    if (!pidFile.isEmpty()) {
        QFile file(pidFile);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QByteArray::number(::getpid()) + '\n');
        else
            log(QStringLiteral("cannot write pid file %1").arg(pidFile));
    }

    bool budgetOk = false;
    const double budget = qEnvironmentVariable("VXR_WORKER_MEMORY_BUDGET").toDouble(&budgetOk);
    options.budget = budgetOk && budget >= 0 ? budget : 0.5;
    options.limitFile = qEnvironmentVariable("VXR_WORKER_MEMORY_LIMIT_FILE");
    options.statsFile = qEnvironmentVariable("VXR_WORKER_MEMORY_STATS_FILE");
    options.heapLimitBytes = heapLimitBytes();
    options.totalMemoryBytes = totalMemoryBytes();
    log(QStringLiteral("max sandboxes %1, global group %2, memory budget %3, limit file %4")
            .arg(options.maxSandboxes)
            .arg(options.joinGlobal ? QStringLiteral("joined") : QStringLiteral("off"))
            .arg(options.budget)
            .arg(options.limitFile.isEmpty() ? QStringLiteral("none") : options.limitFile));

    Simulation simulation(config, options, log);

    SignalWatcher watcher(misbehaviour.ignoreSigterm);
    QObject::connect(&watcher, &SignalWatcher::terminateRequested, &app, [&](int number) {
        log(QStringLiteral("signal %1 received, shutting down").arg(number));
        QFile file(pidFile);
        if (!pidFile.isEmpty() && file.open(QIODevice::ReadOnly) &&
            file.readAll().trimmed() == QByteArray::number(::getpid())) {
            file.close();
            file.remove();
        }
        simulation.writeStatsFile();
        app.quit();
    });
    if (misbehaviour.ignoreSigterm)
        log(QStringLiteral("ignoring SIGTERM (VXR_SIM_IGNORE_SIGTERM)"));

    auto answer = [&](const QHttpServerRequest& request) -> Answer {
        const QString path = request.url().path();
        if (path == QLatin1String("/hud/small-dark.html"))
            return {hudPageHtml(simulation.hudFigures()), "text/html; charset=utf-8"};
        if (path == QLatin1String("/hud/status")) {
            const qint64 after =
                request.query().queryItemValue(QStringLiteral("after")).toLongLong();
            return {QJsonDocument(hudStatus(simulation.hudFigures(), *logBook, after))
                        .toJson(QJsonDocument::Compact),
                    "application/json"};
        }
        if (path == QLatin1String("/worker/run-info"))
            return {"runInfo=" + QJsonDocument(simulation.runInfo()).toJson(QJsonDocument::Compact),
                    "application/javascript"};
        if (path == QLatin1String("/worker/task-info"))
            return {"taskInfo=" +
                        QJsonDocument(simulation.taskInfo()).toJson(QJsonDocument::Compact) + ";",
                    "application/javascript"};
        if (path == QLatin1String("/evaluator/poll") &&
            request.method() == QHttpServerRequest::Method::Post) {
            const QJsonObject reply =
                simulation.evaluatorPoll(QJsonDocument::fromJson(request.body()).object());
            return {QJsonDocument(reply).toJson(QJsonDocument::Compact), "application/json"};
        }
        return {"not found\n", "text/plain", QHttpServerResponder::StatusCode::NotFound};
    };

    LiveSwitches live;
    QTimer flood;
    qint64 floodTicks = 0;
    QObject::connect(&flood, &QTimer::timeout, &app, [&] { writeOut(floodLines(++floodTicks)); });
    QTimer switchPoll;
    const QString switchFile = qEnvironmentVariable("VXR_SIM_SWITCH_FILE");
    if (!switchFile.isEmpty()) {
        QObject::connect(&switchPoll, &QTimer::timeout, &app, [&] {
            const LiveSwitches now = readLiveSwitches(switchFile);
            if (now != live)
                log(QStringLiteral("live switches now: %1").arg(describe(now)));
            live = now;
            if (live.flood != flood.isActive())
                live.flood ? flood.start(kFloodTickMs) : flood.stop();
        });
        switchPoll.start(500);
    }

    QHttpServer server;
    server.setMissingHandler(
        [&](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            const bool forEvaluator = request.url().path().startsWith(QLatin1String("/evaluator/"));
            if (live.oversized && !forEvaluator) {
                writeOversized(responder);
                return;
            }
            Answer a = answer(request);
            if (misbehaviour.garbage == QLatin1String("newline") && !forEvaluator)
                a.body += '\n';
            else if ((!misbehaviour.garbage.isEmpty() || live.garbage) && !forEvaluator)
                a = {garbage(), "text/plain"};
            if (misbehaviour.slowMs > 0 && !forEvaluator) {
                auto later = std::make_shared<QHttpServerResponder>(std::move(responder));
                QTimer::singleShot(misbehaviour.slowMs, &app,
                                   [later, a] { later->write(a.body, a.mime, a.status); });
                return;
            }
            responder.write(a.body, a.mime, a.status);
        });
    const quint16 port = simPort();
    if (server.listen(QHostAddress::LocalHost, port) != port) {
        log(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port));
        return 1;
    }
    // "localhost" may resolve to ::1 first; answer there too when we can.
    (void)server.listen(QHostAddress::LocalHostIPv6, port);
    log(QStringLiteral("serving http://localhost:%1/hud/small-dark.html").arg(port));

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] { simulation.advance(); });
    tick.start(100);
    QTimer stats;
    QObject::connect(&stats, &QTimer::timeout, &app, [&] { simulation.writeStatsFile(); });
    stats.start(5000);
    QTimer badOutput;
    if (misbehaviour.badOutput) {
        QObject::connect(&badOutput, &QTimer::timeout, &app, misbehaveOnOutput);
        badOutput.start(2000);
        misbehaveOnOutput();
    }
    return watcher.endAsAsked(app.exec());
}
