#pragma once

#include "scripted_controller.h"

#include "jobs/job_history.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QVariantMap>

#include <cmath>

// Stand-ins for what the settings and metrics screens read beside the controller: the
// memory governor's reading and the sampler's histories. For the screenshot tool only.
class ScriptedGovernor : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString readingText MEMBER m_readingText NOTIFY readingChanged)
    Q_PROPERTY(double totalMemory MEMBER m_totalMemory NOTIFY totalMemoryChanged)
public:
    using QObject::QObject;
    QString m_readingText;
    double m_totalMemory = 0;
signals:
    void readingChanged();
    void totalMemoryChanged();
};

class ScriptedSampler : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap cpu MEMBER m_cpu NOTIFY cpuChanged)
    Q_PROPERTY(QVariantMap gpu MEMBER m_gpu NOTIFY gpuChanged)
    Q_PROPERTY(QVariantMap ram MEMBER m_ram NOTIFY ramChanged)
    Q_PROPERTY(double bytesIn MEMBER m_bytesIn NOTIFY bytesInChanged)
    Q_PROPERTY(double bytesOut MEMBER m_bytesOut NOTIFY bytesOutChanged)
public:
    using QObject::QObject;
    QVariantMap m_cpu{{QStringLiteral("samples"), QVariantList{}}};
    QVariantMap m_gpu{{QStringLiteral("samples"), QVariantList{}}};
    QVariantMap m_ram{{QStringLiteral("samples"), QVariantList{}}};
    double m_bytesIn = 0;
    double m_bytesOut = 0;
    int startCount = 0;
    Q_INVOKABLE void start() { ++startCount; }

    static QVariantMap history(const QList<double>& samples) {
        QVariantList list;
        for (double value : samples)
            list.append(value);
        return {{QStringLiteral("samples"), list}};
    }
signals:
    void cpuChanged();
    void gpuChanged();
    void ramChanged();
    void bytesInChanged();
    void bytesOutChanged();
};

class ScriptedScreensController : public ScriptedController {
    Q_OBJECT
    Q_PROPERTY(
        QVariantMap registrationStatus MEMBER m_registrationStatus NOTIFY registrationStatusChanged)
    Q_PROPERTY(bool isApplyingRegistration MEMBER m_isApplyingRegistration NOTIFY
                   isApplyingRegistrationChanged)
    Q_PROPERTY(
        bool isResettingWorkerId MEMBER m_isResettingWorkerId NOTIFY isResettingWorkerIdChanged)
    Q_PROPERTY(bool joinGlobalGroup MEMBER m_joinGlobalGroup NOTIFY joinGlobalGroupChanged)
    Q_PROPERTY(double idleThresholdMinutes MEMBER m_idleThresholdMinutes NOTIFY
                   idleThresholdMinutesChanged)
    Q_PROPERTY(bool enableWebGPU MEMBER m_enableWebGPU NOTIFY enableWebGPUChanged)
    Q_PROPERTY(double memoryCapPercent MEMBER m_memoryCapPercent NOTIFY memoryCapPercentChanged)
    Q_PROPERTY(bool yieldToOtherApps MEMBER m_yieldToOtherApps NOTIFY yieldToOtherAppsChanged)
    Q_PROPERTY(double memoryHeadroomGB MEMBER m_memoryHeadroomGB NOTIFY memoryHeadroomGBChanged)
    Q_PROPERTY(int maxSandboxes MEMBER m_maxSandboxes NOTIFY maxSandboxesChanged)
    Q_PROPERTY(int performanceCores MEMBER m_performanceCores CONSTANT)
    Q_PROPERTY(bool idleDetectionAvailable MEMBER m_idleDetectionAvailable NOTIFY
                   idleDetectionAvailableChanged)
    Q_PROPERTY(QObject* memoryGovernor MEMBER m_memoryGovernor CONSTANT)
    Q_PROPERTY(QObject* metricsSampler MEMBER m_metricsSampler CONSTANT)
    Q_PROPERTY(QObject* jobHistory MEMBER m_jobHistory CONSTANT)

public:
    using ScriptedController::ScriptedController;

    // RegistrationStatus::Kind values: registered, failed, unknown, checking,
    // notRegistered, registering.
    static QVariantMap status(int kind, const QString& text = {}) {
        return {{QStringLiteral("kind"), kind}, {QStringLiteral("text"), text}};
    }

    QVariantMap m_registrationStatus = status(2);
    bool m_isApplyingRegistration = false;
    bool m_isResettingWorkerId = false;
    bool m_joinGlobalGroup = true;
    double m_idleThresholdMinutes = 5;
    bool m_enableWebGPU = true;
    double m_memoryCapPercent = 50;
    bool m_yieldToOtherApps = true;
    double m_memoryHeadroomGB = 1.5;
    int m_maxSandboxes = 4;
    int m_performanceCores = 4;
    bool m_idleDetectionAvailable = true;
    QObject* m_memoryGovernor = nullptr;
    QObject* m_metricsSampler = nullptr;
    QObject* m_jobHistory = nullptr;

    int checkCount = 0;
    QStringList registeredKeys;
    int resetCount = 0;

    Q_INVOKABLE void checkRegistration() {
        ++checkCount;
        setProperty("registrationStatus", status(3));
    }
    Q_INVOKABLE void registerWorker(const QString& key) {
        registeredKeys << key;
        setProperty("registrationStatus", status(5));
    }
    Q_INVOKABLE void resetWorkerId() { ++resetCount; }

signals:
    void registrationStatusChanged();
    void isApplyingRegistrationChanged();
    void isResettingWorkerIdChanged();
    void joinGlobalGroupChanged();
    void idleThresholdMinutesChanged();
    void enableWebGPUChanged();
    void memoryCapPercentChanged();
    void yieldToOtherAppsChanged();
    void memoryHeadroomGBChanged();
    void maxSandboxesChanged();
    void idleDetectionAvailableChanged();
};
