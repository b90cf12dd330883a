#pragma once

#include "controller/worker_controller.h"
#include "support/controller_access.h"
#include "support/fake_worker.h"

#include <QTemporaryDir>

#include <memory>

namespace vxr::test {

// A real controller for the screens and the shell under a scratch root: worker
// programs that record every run and answer every one-shot at once (or none at all),
// no network, no process table, and the service relaunch held so nothing restarts
// behind the test's back. What the worker would publish is set through
// ControllerAccess.
class ScreenController {
public:
    struct Options {
        bool idleDetection = true;
        bool workerPrograms = true;
        Timing timing = Timing{}.scaled(0.01);
    };

    ScreenController()
        : ScreenController(Options{}) {}
    explicit ScreenController(const Options& options) {
        if (options.workerPrograms)
            m_worker = std::make_unique<FakeWorkerDir>();
        ControllerEnvironment env = testEnvironment(
            m_root.path(), m_worker ? m_worker->path() : m_root.filePath(QStringLiteral("no-bin")));
        env.timing = options.timing;
        // No process table: the governor and the sampler publish only what is set here.
        env.procRoot = m_root.filePath(QStringLiteral("no-proc"));
        if (m_worker) {
            // Every run of the worker program recorded, the one-shots included.
            writeExecutable(
                m_worker->filePath(QStringLiteral("vxr-worker.sh")),
                recordingScript("service", "case \"$1\" in --show=*|--register=*|--reset) exit "
                                           "0 ;; esac\n" +
                                               kRunUntilTerminated));
        }
        if (options.idleDetection)
            env.makeIdleTimeSource = [seconds = m_idleSeconds] {
                return std::make_unique<ScriptedIdleSource>(seconds);
            };
        m_controller = std::make_unique<WorkerController>(std::move(env));
        ControllerAccess::setHoldServiceRelaunch(*m_controller, true);
    }
    ~ScreenController() { m_controller->shutdownForQuit(); }

    WorkerController& operator*() const { return *m_controller; }
    WorkerController* operator->() const { return m_controller.get(); }
    WorkerController* get() const { return m_controller.get(); }
    // Null without worker programs.
    FakeWorkerDir* worker() const { return m_worker.get(); }

private:
    QTemporaryDir m_root;
    std::unique_ptr<FakeWorkerDir> m_worker;
    std::shared_ptr<double> m_idleSeconds = std::make_shared<double>(0);
    std::unique_ptr<WorkerController> m_controller;
};

// A running sandbox as the task-info poll would list it.
inline SandboxProgress sandbox(const QString& jobId, qint64 done, qint64 fetched) {
    return {jobId, jobId.left(10), done, fetched,
            fetched > 0 ? 100.0 * double(done) / double(fetched) : 0.0};
}

} // namespace vxr::test
