// The floor of what the application must do while it sits in the tray with compute
// running, and nothing else: fetch and parse task-info every 1.5 s and run-info every
// 15 s from the worker service, and read the worker's process tree every 2 s, with the
// application's own poll loops and tree probe. tools/measure-idle runs it beside the
// application and reports the application's idle CPU as a multiple of this program's.
//   vxr-idle-floor <worker root pid>...

#include "controller/controller_environment.h"
#include "platform/proc/process_tree.h"
#include "worker_interface/poll_loops.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QList<qint32> roots;
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        if (const int pid = argument.toInt(); pid > 0)
            roots.append(pid);
    if (roots.isEmpty()) {
        std::fprintf(stderr, "usage: vxr-idle-floor <worker root pid>...\n");
        return 2;
    }

    const vxr::ControllerEnvironment defaults;
    vxr::TaskInfoPoll taskInfo(defaults.taskInfoURL, defaults.timing);
    vxr::RunInfoPoll runInfo(defaults.runInfoURL, defaults.timing);
    vxr::ProcessTreeProbe probe(defaults.procRoot);
    QTimer treeTimer;
    treeTimer.callOnTimeout([&] { (void)probe.snapshot(roots); });
    treeTimer.start(defaults.timing.treeSampleInterval);
    taskInfo.start();
    runInfo.start();
    return QCoreApplication::exec();
}
