#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

namespace vxr {

class ProcessLog;

// A supervised child program. With logging attached, its stdout and stderr share one
// pipe whose reader thread copies whole prefixed lines into the process log, so the
// child never blocks on a full pipe even when the log cannot be written.
class ChildProcess : public QObject {
    Q_OBJECT
public:
    ChildProcess(const QString& program, const QStringList& arguments,
                 const QProcessEnvironment& environment, QObject* parent = nullptr);
    ~ChildProcess() override;

    // Before start(): send stdout+stderr to the process log under label.
    void attachLogging(std::shared_ptr<ProcessLog> log, const QString& label);

    // Launches the program; on failure returns false with a description.
    [[nodiscard]] bool start(QString* errorDescription);

    [[nodiscard]] qint64 pid() const { return m_pid; }
    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] QString program() const { return m_process->program(); }
    [[nodiscard]] QStringList arguments() const { return m_process->arguments(); }

    // The polite termination request (SIGTERM). Never escalates.
    void terminate();
    // Blocks until the program has ended (exited() is emitted from here) or timeoutMs
    // passed; true when it has ended. For quit only, where nothing else is left to do.
    bool waitForExit(int timeoutMs);

Q_SIGNALS:
    // The program ended; status is its exit code, or the signal number that ended it.
    void exited(int status);

private:
    void startLogReader(int readFd);

    QProcess* m_process;
    std::shared_ptr<ProcessLog> m_log;
    QString m_label;
    qint64 m_pid = 0;
    bool m_exited = false;
};

} // namespace vxr
