#pragma once

// Test doubles for the worker programs: shell scripts in a temporary bin directory
// that record how they were started and then behave as the test asks.

#include "controller/controller_environment.h"
#include "platform/idle_time_source.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <csignal>

namespace vxr::test {

inline void writeExecutable(const QString& path, const QByteArray& script) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(script);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// Each start of a script appends its arguments (one per line, then "--end--") to
// <name>.args and its environment to <name>.env in the bin directory, then runs body.
inline QByteArray recordingScript(const QByteArray& name, const QByteArray& body) {
    return "#!/bin/sh\n"
           "dir=$(dirname \"$0\")\n"
           "env > \"$dir/" +
           name + ".env.tmp\" && mv \"$dir/" + name + ".env.tmp\" \"$dir/" + name +
           ".env\"\n"
           "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$dir/" +
           name +
           ".args\"; done\n"
           "echo --end-- >> \"$dir/" +
           name + ".args\"\n" + body + "\n";
}

// A body that keeps running until SIGTERM (exec so the signal reaches sleep itself).
inline const QByteArray kRunUntilTerminated = "exec sleep 600";

class FakeWorkerDir {
public:
    FakeWorkerDir() {
        setService(kRunUntilTerminated);
        setEvaluator(kRunUntilTerminated);
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    void setService(const QByteArray& body) {
        // The same script answers the one-shot commands (throttle, owner, register,
        // reset): those answer nothing and are not service starts.
        QByteArray script = recordingScript("service", body);
        script.insert(script.indexOf('\n') + 1,
                      "case \"$1\" in --show=*|--register=*|--reset) exit 0 ;; esac\n");
        writeExecutable(filePath(QStringLiteral("vxr-worker.sh")), script);
    }
    void setEvaluator(const QByteArray& body) {
        writeExecutable(filePath(QStringLiteral("vxr-evaluator.sh")),
                        recordingScript("evaluator", body));
    }
    // Argument lists of every start so far.
    QList<QStringList> starts(const QString& name) const {
        QFile file(filePath(name + QLatin1String(".args")));
        QList<QStringList> result;
        if (!file.open(QIODevice::ReadOnly))
            return result;
        QStringList current;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line == "--end--") {
                result.append(current);
                current.clear();
            } else if (!line.isEmpty()) {
                current.append(QString::fromUtf8(line));
            }
        }
        return result;
    }
    QString envValue(const QString& name, const QString& variable) const {
        QFile file(filePath(name + QLatin1String(".env")));
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("<no env file>");
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith(variable.toUtf8() + '='))
                return QString::fromUtf8(line.mid(variable.size() + 1));
        return QStringLiteral("<unset>");
    }

private:
    QTemporaryDir m_dir;
};

class ScriptedIdleSource : public IdleTimeSource {
public:
    explicit ScriptedIdleSource(std::shared_ptr<double> seconds)
        : m_seconds(std::move(seconds)) {}
    QString name() const override { return QStringLiteral("scripted"); }
    std::optional<double> idleSeconds() override { return *m_seconds; }

private:
    std::shared_ptr<double> m_seconds;
};

// Answers each read some time after it was asked, with the idle time at the moment of
// asking, as a desktop service on a busy bus does; afterReply sees each answer once
// the reader has acted on it.
class DelayedIdleSource : public IdleTimeSource {
public:
    DelayedIdleSource(std::shared_ptr<double> seconds, Millis delay,
                      std::function<void(double)> afterReply)
        : m_seconds(std::move(seconds))
        , m_delay(delay)
        , m_afterReply(std::move(afterReply)) {}
    QString name() const override { return QStringLiteral("delayed"); }
    std::optional<double> idleSeconds() override { return m_latest; }
    void readIdleSeconds(QObject* context, IdleReadingHandler done) override {
        const double asked = *m_seconds;
        QTimer::singleShot(m_delay, context, [this, asked, done = std::move(done)] {
            m_latest = asked;
            done(asked);
            m_afterReply(asked);
        });
    }

private:
    std::shared_ptr<double> m_seconds;
    Millis m_delay;
    std::function<void(double)> m_afterReply;
    std::optional<double> m_latest;
};

// An environment under root with fast timing and no real network service.
inline ControllerEnvironment testEnvironment(const QString& root, const QString& binDir) {
    ControllerEnvironment env;
    env.binDir = binDir;
    env.paths = AppPaths::underRoot(root);
    env.timing = Timing{}.scaled(0.01);
    // Nothing listens here: polls fail fast and quietly.
    env.statusURL = QUrl(QStringLiteral("http://127.0.0.1:9/hud/small-dark.html"));
    env.taskInfoURL = QUrl(QStringLiteral("http://127.0.0.1:9/worker/task-info"));
    env.runInfoURL = QUrl(QStringLiteral("http://127.0.0.1:9/worker/run-info"));
    env.processEnvironment = QProcessEnvironment::systemEnvironment();
    env.processEnvironment.remove(QStringLiteral("NODE_OPTIONS"));
    env.performanceCores = [] { return 4; };
    env.activeProcessors = [] { return 8; };
    return env;
}

} // namespace vxr::test
