#pragma once

#include <QObject>

class QSocketNotifier;

namespace vxr {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread (self-pipe),
// so the ordinary quit path runs instead of the process dying mid-way.
class QuitSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit QuitSignalWatcher(QObject* parent = nullptr);
    ~QuitSignalWatcher() override;

Q_SIGNALS:
    void quitRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vxr
