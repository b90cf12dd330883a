#pragma once

#include "core/timing.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace vxr {

// Exit status (the signal number after a crash) and the merged output as text.
using OneShotCompletion = std::function<void(int status, const QString& output)>;

// How long a one-shot may take. A zero timeout waits for ever.
struct OneShotLimits {
    Millis timeout{0};
    Millis killGracePeriod{5000};
};

// Status given to a completion when the program was stopped for taking too long.
inline constexpr int kOneShotTimedOut = -2;

// Runs `program` once with exactly `arguments`, inheriting environment and working
// directory, standard output and error on one pipe that is read while the child
// runs. Output that is not UTF-8 becomes "". When the program cannot be started the
// completion gets -1 and "Failed to launch: " + the reason. A program still running
// after limits.timeout gets SIGTERM, then SIGKILL after the grace period, and the
// completion gets kOneShotTimedOut and a sentence saying so (never the arguments,
// which may hold a key). The completion runs on the GUI thread, and not at all once
// `context` is gone; losing interest in the child does not stop it.
void runOneShot(const QString& program, const QStringList& arguments, QObject* context,
                OneShotCompletion completion, OneShotLimits limits = {});

// The sentence a timed-out one-shot reports.
[[nodiscard]] QString oneShotTimeoutMessage(Millis timeout);

} // namespace vxr
