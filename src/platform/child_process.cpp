#include "platform/child_process.h"

#include "core/held_objects.h"
#include "platform/process_log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace vxr {

namespace {

// Owns the pipe's read end; runs until every holder of its write end is gone.
void pumpLog(int readFd, const std::shared_ptr<ProcessLog>& log, const QString& label) {
    ::pthread_setname_np(::pthread_self(), "log reader");
    LogLineAssembler assembler(label);
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(readFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const QByteArray lines = assembler.feed(QByteArrayView(buffer, n));
        // Never waits for the disk: the log queues, or leaves the text out.
        if (log && !lines.isEmpty())
            (void)log->append(lines);
    }
    const QByteArray last = assembler.finish();
    if (log && !last.isEmpty())
        (void)log->append(last);
    ::close(readFd);
}

// QProcess would kill a still-running child on destruction; instead it is kept until
// the child ends by itself, and at exit left behind with it.
void leaveRunning(QProcess* process) {
    holdUntilDestroyed(process);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

} // namespace

ChildProcess::ChildProcess(const QString& program, const QStringList& arguments,
                           const QProcessEnvironment& environment, QObject* parent)
    : QObject(parent)
    , m_process(new QProcess(this)) {
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setProcessEnvironment(environment);
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus) {
        m_exited = true;
        Q_EMIT exited(exitCode);
    });
}

ChildProcess::~ChildProcess() {
    // QProcess would kill a live child on destruction; children are only ever asked
    // to stop, so let a still-running one go on unsupervised instead.
    if (m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->setParent(nullptr);
        leaveRunning(m_process);
    }
}

void ChildProcess::attachLogging(std::shared_ptr<ProcessLog> log, const QString& label) {
    m_log = std::move(log);
    m_label = label;
}

bool ChildProcess::start(QString* errorDescription) {
    int fds[2] = {-1, -1};
    const bool logging = !m_label.isEmpty();
    if (logging) {
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            if (errorDescription)
                *errorDescription = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        const int writeFd = fds[1];
        m_process->setProcessChannelMode(QProcess::ForwardedChannels);
        m_process->setChildProcessModifier([writeFd] {
            ::dup2(writeFd, STDOUT_FILENO);
            ::dup2(writeFd, STDERR_FILENO);
        });
    } else {
        m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    }

    m_process->start();
    const bool started = m_process->waitForStarted(-1);
    if (logging) {
        ::close(fds[1]); // EOF must come when the child's side is gone
        if (started)
            startLogReader(fds[0]);
        else
            ::close(fds[0]);
    }
    if (!started) {
        if (errorDescription)
            *errorDescription = m_process->errorString();
        return false;
    }
    m_pid = m_process->processId();
    return true;
}

void ChildProcess::startLogReader(int readFd) {
    std::thread(pumpLog, readFd, m_log, m_label).detach();
}

bool ChildProcess::isRunning() const {
    return !m_exited && m_process->state() == QProcess::Running;
}

bool ChildProcess::waitForExit(int timeoutMs) {
    if (!isRunning())
        return true;
    return m_process->waitForFinished(std::max(timeoutMs, 0)) || !isRunning();
}

void ChildProcess::terminate() {
    if (isRunning() && m_pid > 0)
        ::kill(pid_t(m_pid), SIGTERM);
}

} // namespace vxr
