#pragma once

#include <QObject>

class QSocketNotifier;

namespace vxr::sim {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread (self-pipe),
// so shutdown runs as ordinary code rather than inside a signal handler.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // With `ignoreTerm` SIGTERM is ignored outright (a misbehaviour switch).
    explicit SignalWatcher(bool ignoreTerm, QObject* parent = nullptr);

    // The signal that asked us to end, 0 if none did.
    [[nodiscard]] int received() const { return m_received; }

    // Ends the process by the signal that asked it to, once its cleanup is done, so
    // the parent sees what it would see of the real programs: an end by that signal.
    // Returns `status` when no signal asked.
    int endAsAsked(int status) const;

signals:
    void terminateRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
    int m_received = 0;
};

} // namespace vxr::sim
