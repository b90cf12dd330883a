#pragma once

#include <QProcess>
#include <QString>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace vxr::test {

// A dbus-daemon of the test's own: started on construction, ended with the object or
// with the test process, whichever comes first. address() is empty when none could
// start (the test then skips).
class PrivateBus {
public:
    PrivateBus() {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start();
        if (!m_daemon.waitForStarted(5000))
            return;
        for (int i = 0; i < 100 && !m_daemon.canReadLine(); ++i)
            m_daemon.waitForReadyRead(50);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    [[nodiscard]] const QString& address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace vxr::test
