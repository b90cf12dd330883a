#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace vxr {

// Exit status (the signal number after a crash) and the merged output as text.
using OneShotCompletion = std::function<void(int status, const QString& output)>;

// Runs `program` once with exactly `arguments`, inheriting environment and working
// directory, standard output and error on one pipe that is read while the child
// runs. Output that is not UTF-8 becomes "". When the program cannot be started the
// completion gets -1 and "Failed to launch: " + the reason. The completion runs on
// the GUI thread, and not at all once `context` is gone. The child is never killed:
// losing interest in it does not stop it.
void runOneShot(const QString& program, const QStringList& arguments, QObject* context,
                OneShotCompletion completion);

} // namespace vxr
