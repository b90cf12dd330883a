#include "worker_interface/one_shot.h"

#include "core/held_objects.h"

#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

#include <csignal>

namespace vxr {

namespace {
QString decodeUtf8OrEmpty(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}
} // namespace

QString oneShotTimeoutMessage(Millis timeout) {
    return QStringLiteral("The worker program did not answer within %1 s and was stopped.")
        .arg(double(timeout.count()) / 1000.0);
}

void runOneShot(const QString& program, const QStringList& arguments, QObject* context,
                OneShotCompletion completion, OneShotLimits limits) {
    // No parent: a QProcess destroyed with a running child kills it by force, and a
    // one-shot must be allowed to finish even when its requester is gone.
    auto* process = new QProcess;
    holdUntilDestroyed(process);
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::MergedChannels);

    auto output = std::make_shared<QByteArray>();
    auto shared = std::make_shared<OneShotCompletion>(std::move(completion));
    QPointer<QObject> guard(context);
    auto timedOut = std::make_shared<bool>(false);

    // Drain as the child writes, so a large output never fills the pipe and stalls it.
    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [process, output] { *output += process->readAllStandardOutput(); });
    QObject::connect(
        process, &QProcess::finished, process,
        [process, output, shared, guard, timedOut, limits](int exitCode, QProcess::ExitStatus) {
            *output += process->readAllStandardOutput();
            process->deleteLater();
            if (!guard)
                return;
            if (*timedOut)
                (*shared)(kOneShotTimedOut, oneShotTimeoutMessage(limits.timeout));
            else
                (*shared)(exitCode, decodeUtf8OrEmpty(*output));
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, shared, guard](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return; // other errors end in finished()
                         const QString reason = process->errorString();
                         process->deleteLater();
                         if (guard)
                             (*shared)(-1, QStringLiteral("Failed to launch: ") + reason);
                     });

    process->start(QIODevice::ReadWrite);
    // The child reads end-of-file if it ever looks at its standard input.
    process->closeWriteChannel();

    if (limits.timeout.count() <= 0)
        return;
    // Timers owned by the process go with it, so a finished run leaves none behind.
    auto* deadline = new QTimer(process);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, process, [process, timedOut, limits] {
        if (process->state() == QProcess::NotRunning)
            return;
        *timedOut = true;
        ::kill(pid_t(process->processId()), SIGTERM);
        QTimer::singleShot(limits.killGracePeriod, process, [process] { process->kill(); });
    });
    deadline->start(limits.timeout);
}

} // namespace vxr
