#pragma once

#include "controller/worker_controller.h"

namespace vxr::test {

// The internals that tests (and the screenshot tool) drive directly: the relaunch hold,
// and the state the controller, the governor and the sampler publish, set as the
// worker's answers would set it.
struct ControllerAccess {
    static void setHoldServiceRelaunch(WorkerController& controller, bool hold) {
        controller.setHoldServiceRelaunch(hold);
    }

    static void setServiceRunning(WorkerController& controller, bool running) {
        controller.setServiceRunning(running);
    }
    static void setWorkerURL(WorkerController& controller, const QUrl& url) {
        controller.setWorkerURL(url.isEmpty() ? std::nullopt : std::optional<QUrl>(url));
    }
    static void setEvaluatorsRunning(WorkerController& controller, bool running) {
        controller.setEvaluatorsRunning(running);
    }
    static void setIsStopping(WorkerController& controller, bool stopping) {
        controller.setIsStopping(stopping);
    }
    static void setThrottleNotice(WorkerController& controller, const QString& notice) {
        controller.setThrottleNotice(notice.isEmpty() ? std::nullopt
                                                      : std::optional<QString>(notice));
    }
    static void setEarnings(WorkerController& controller, double total, const QString& account) {
        controller.setTotalEarnings(total);
        controller.setEarningsAccount(account);
    }
    static void setSandboxes(WorkerController& controller, const QList<SandboxProgress>& rows) {
        controller.setSandboxes(rows);
    }
    static void setRegistrationStatus(WorkerController& controller,
                                      const RegistrationStatus& status) {
        controller.setRegistrationStatus(status);
    }
    static void setIsResettingWorkerId(WorkerController& controller, bool resetting) {
        controller.setIsResettingWorkerId(resetting);
    }

    static void setMemory(MemoryGovernor& governor, const MemoryReading& reading,
                          quint64 totalMemory) {
        governor.m_totalMemory = totalMemory;
        governor.m_reading = reading;
        Q_EMIT governor.totalMemoryChanged();
        Q_EMIT governor.readingChanged();
    }
    static void setHistories(MetricsSampler& sampler, const MetricHistory& cpu,
                             const MetricHistory& gpu, const MetricHistory& ram, double bytesIn,
                             double bytesOut) {
        sampler.m_cpu = cpu;
        sampler.m_gpu = gpu;
        sampler.m_ram = ram;
        sampler.m_network.bytesIn = bytesIn;
        sampler.m_network.bytesOut = bytesOut;
        Q_EMIT sampler.cpuChanged();
        Q_EMIT sampler.gpuChanged();
        Q_EMIT sampler.ramChanged();
        Q_EMIT sampler.bytesInChanged();
        Q_EMIT sampler.bytesOutChanged();
    }
};

} // namespace vxr::test
