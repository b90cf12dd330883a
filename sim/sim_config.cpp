#include "sim_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace vxr::sim {

namespace {

double numberOr(const QJsonObject& o, const char* key, double fallback) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : fallback;
}

QString stringOr(const QJsonObject& o, const char* key, const QString& fallback) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : fallback;
}

JobDefinition parseJob(const QJsonObject& o, int index) {
    JobDefinition job;
    job.id = stringOr(o, "id", QStringLiteral("job%1").arg(index));
    job.name = stringOr(o, "name", job.id);
    job.cgId = stringOr(o, "cgId", QStringLiteral("global"));
    if (o.value(QLatin1String("global")).isBool())
        job.global = o.value(QLatin1String("global")).toBool();
    job.sliceSeconds = std::max(0.01, numberOr(o, "sliceSeconds", job.sliceSeconds));
    job.sliceMB = std::clamp(numberOr(o, "sliceMB", job.sliceMB), 0.0, 8192.0);
    job.cpuLoad = std::clamp(numberOr(o, "cpuLoad", job.cpuLoad), 0.0, 1.0);
    job.threads = std::clamp(int(numberOr(o, "threads", job.threads)), 1, 64);
    job.inBytes = std::max(0.0, numberOr(o, "inBytes", job.inBytes));
    job.outBytes = std::max(0.0, numberOr(o, "outBytes", job.outBytes));
    job.gpuMs = std::max(0.0, numberOr(o, "gpuMs", job.gpuMs));
    job.credit = std::max(0.0, numberOr(o, "credit", job.credit));
    const QJsonObject shares = o.value(QLatin1String("breakdown")).toObject();
    job.breakdown.heap = numberOr(shares, "heap", job.breakdown.heap);
    job.breakdown.arrayBuffers = numberOr(shares, "arrayBuffers", job.breakdown.arrayBuffers);
    job.breakdown.wasm = numberOr(shares, "wasm", job.breakdown.wasm);
    return job;
}

JobDefinition makeJob(const char* id, const char* name, const char* cg, bool global, double seconds,
                      double mb, double load, double in, double out, double credit,
                      double gpuMs = 0) {
    JobDefinition job;
    job.id = QLatin1String(id);
    job.name = QLatin1String(name);
    job.cgId = QLatin1String(cg);
    job.global = global;
    job.sliceSeconds = seconds;
    job.sliceMB = mb;
    job.cpuLoad = load;
    job.inBytes = in;
    job.outBytes = out;
    job.credit = credit;
    job.gpuMs = gpuMs;
    return job;
}

} // namespace

bool envNamesProgram(const char* variable, const QString& program) {
    const QString value = QString::fromLocal8Bit(qgetenv(variable)).trimmed().toLower();
    if (value.isEmpty() || value == QLatin1String("0"))
        return false;
    const QStringList names = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return names.contains(QLatin1String("1")) || names.contains(QLatin1String("all")) ||
           names.contains(program);
}

std::vector<JobDefinition> defaultJobs() {
    return {
        makeJob("Qm7fa92Lw3kPz0Rt8cBv", "Mandelbrot tiles", "global", true, 6, 48, 0.8, 180000,
                42000, 0.0031),
        makeJob("Zx1c0ffee5Dd82hNq4Ke", "Protein fold scoring", "global", true, 9, 160, 0.9, 620000,
                8000, 0.0074),
        makeJob("Lk9Rr3sWm0Ty6uVb2Pq1", "Sentence embeddings", "global", true, 4, 96, 0.6, 1200000,
                300000, 0.0022, 420),
        makeJob("Hb4Gg7Jj2Nn5Mm8Cc0Xs", "Lab: climate ensemble", "lab-weather", false, 12, 220,
                0.85, 90000, 15000, 0.0110),
        makeJob("Wd6Ee1Ff3Aa9Ss2Yy5Uo", "Lab: sparse solver", "lab-weather", false, 7, 72, 0.7,
                400000, 64000, 0.0045),
    };
}

SimConfig parseSimConfig(const QByteArray& text, QString* error) {
    SimConfig config;
    config.jobs = defaultJobs();
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (!doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                         ? parseError.errorString()
                         : QStringLiteral("top level is not an object");
        return config;
    }
    const QJsonObject root = doc.object();
    const QJsonArray jobs = root.value(QLatin1String("jobs")).toArray();
    if (!jobs.isEmpty()) {
        config.jobs.clear();
        for (int i = 0; i < jobs.size(); ++i)
            if (jobs.at(i).isObject())
                config.jobs.push_back(parseJob(jobs.at(i).toObject(), i));
    }
    const QJsonValue throttle = root.value(QLatin1String("throttle"));
    if (throttle.isObject()) {
        ThrottleConfig t;
        t.schedule = stringOr(throttle.toObject(), "schedule", {});
        t.timezone = stringOr(throttle.toObject(), "timezone", {});
        config.throttle = t;
    }
    for (const QJsonValue& key : root.value(QLatin1String("mismatchKeys")).toArray())
        if (key.isString())
            config.mismatchKeys.append(key.toString());
    const QJsonArray slices = root.value(QLatin1String("slicesPerTask")).toArray();
    if (slices.size() == 2 && slices.at(0).isDouble() && slices.at(1).isDouble()) {
        config.minSlicesPerTask = std::clamp(slices.at(0).toInt(), 1, 1000);
        config.maxSlicesPerTask = std::clamp(slices.at(1).toInt(), config.minSlicesPerTask, 1000);
    }
    config.maxJobsPerTask =
        std::clamp(int(numberOr(root, "maxJobsPerTask", config.maxJobsPerTask)), 1, 8);
    config.fetchSeconds = std::max(0.0, numberOr(root, "fetchSeconds", config.fetchSeconds));
    config.finishedSeconds =
        std::max(0.0, numberOr(root, "finishedSeconds", config.finishedSeconds));
    config.reserveMB = std::max(0.0, numberOr(root, "reserveMB", config.reserveMB));
    config.timeScale = std::max(0.001, numberOr(root, "timeScale", config.timeScale));
    config.evaluatorTimeoutSeconds =
        std::max(0.2, numberOr(root, "evaluatorTimeoutSeconds", config.evaluatorTimeoutSeconds));
    return config;
}

QString simConfigPath() {
    const QString fromEnv = QString::fromLocal8Bit(qgetenv("VXR_SIM_CONFIG"));
    if (!fromEnv.isEmpty())
        return fromEnv;
    // <bin>/vxr-worker/bin/<exe> -> <bin>/vxr-sim.json
    return QDir(QCoreApplication::applicationDirPath() + QLatin1String("/../.."))
        .absoluteFilePath(QStringLiteral("vxr-sim.json"));
}

SimConfig loadSimConfig(QString* error) {
    SimConfig config;
    config.jobs = defaultJobs();
    QFile file(simConfigPath());
    if (file.open(QIODevice::ReadOnly))
        config = parseSimConfig(file.readAll(), error);
    bool ok = false;
    const double scale = qEnvironmentVariable("VXR_SIM_TIME_SCALE").toDouble(&ok);
    if (ok && scale > 0)
        config.timeScale = scale;
    const QString keys = qEnvironmentVariable("VXR_SIM_MISMATCH_KEYS");
    config.mismatchKeys.append(keys.split(QLatin1Char(','), Qt::SkipEmptyParts));
    return config;
}

quint16 simPort() {
    bool ok = false;
    const uint port = qEnvironmentVariable("VXR_SIM_PORT").toUInt(&ok);
    return ok && port > 0 && port < 65536 ? quint16(port) : quint16(9080);
}

Misbehaviour misbehaviourFor(const QString& program) {
    Misbehaviour m;
    m.exitAtOnce = envNamesProgram("VXR_SIM_EXIT_AT_ONCE", program);
    bool ok = false;
    const int status = qEnvironmentVariable("VXR_SIM_EXIT_STATUS").toInt(&ok);
    if (ok)
        m.exitStatus = status;
    m.ignoreSigterm = envNamesProgram("VXR_SIM_IGNORE_SIGTERM", program);
    m.badOutput = envNamesProgram("VXR_SIM_BAD_OUTPUT", program);
    m.slowMs = std::max(0, qEnvironmentVariable("VXR_SIM_SLOW_MS").toInt());
    m.garbage = qEnvironmentVariable("VXR_SIM_GARBAGE");
    if (m.garbage == QLatin1String("0"))
        m.garbage.clear();
    return m;
}

void recordInvocation(const QString& program, const QStringList& arguments) {
    const QString dir = qEnvironmentVariable("VXR_SIM_RECORD");
    if (dir.isEmpty())
        return;
    QJsonObject env;
    const QStringList all = QProcessEnvironment::systemEnvironment().toStringList();
    for (const QString& entry : all) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("NODE_OPTIONS") || name.startsWith(QLatin1String("VXR_")))
            env.insert(name, entry.section(QLatin1Char('='), 1));
    }
    const QByteArray line =
        QJsonDocument(QJsonObject{{QStringLiteral("program"), program},
                                  {QStringLiteral("pid"), qint64(::getpid())},
                                  {QStringLiteral("ppid"), qint64(::getppid())},
                                  {QStringLiteral("argv"), QJsonArray::fromStringList(arguments)},
                                  {QStringLiteral("env"), env}})
            .toJson(QJsonDocument::Compact) +
        '\n';
    // One append of a short line: records of concurrent starts never interleave.
    const int fd = ::open(QFile::encodeName(dir + QLatin1String("/invocations.jsonl")).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const auto written = ::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

} // namespace vxr::sim
