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

signals:
    void terminateRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vxr::sim
