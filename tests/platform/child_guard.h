#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

// Servers a test starts (Xvfb, dbus-daemon, compositors) end with the test process,
// even when a failed check or a crash skips the clean-up.
inline void endWithTestProcess(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}
