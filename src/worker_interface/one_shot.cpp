#include "worker_interface/one_shot.h"

#include "core/held_objects.h"

#include <QPointer>
#include <QProcess>
#include <QStringDecoder>

#include <memory>

namespace vxr {

namespace {
QString decodeUtf8OrEmpty(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}
} // namespace

void runOneShot(const QString& program, const QStringList& arguments, QObject* context,
                OneShotCompletion completion) {
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

    // Drain as the child writes, so a large output never fills the pipe and stalls it.
    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [process, output] { *output += process->readAllStandardOutput(); });
    QObject::connect(process, &QProcess::finished, process,
                     [process, output, shared, guard](int exitCode, QProcess::ExitStatus) {
                         *output += process->readAllStandardOutput();
                         process->deleteLater();
                         if (guard)
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
}

} // namespace vxr
