#pragma once

#include "worker_interface/sandbox_list_model.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

// A stand-in for the controller's observable state, set from a script with
// setProperty(): the screens only read these properties and call the two
// operations. For the screenshot tool and the UI tests; never part of the app.
class ScriptedController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool serviceRunning MEMBER m_serviceRunning NOTIFY serviceRunningChanged)
    Q_PROPERTY(QUrl workerURL MEMBER m_workerURL NOTIFY workerURLChanged)
    Q_PROPERTY(QString throttleNotice MEMBER m_throttleNotice NOTIFY throttleNoticeChanged)
    Q_PROPERTY(bool evaluatorsRunning MEMBER m_evaluatorsRunning NOTIFY evaluatorsRunningChanged)
    Q_PROPERTY(bool isStopping MEMBER m_isStopping NOTIFY isStoppingChanged)
    Q_PROPERTY(bool idleRestrictionEnabled MEMBER m_idleRestrictionEnabled NOTIFY
                   idleRestrictionEnabledChanged)
    Q_PROPERTY(bool manualOverride MEMBER m_manualOverride NOTIFY manualOverrideChanged)
    Q_PROPERTY(double totalEarnings MEMBER m_totalEarnings NOTIFY totalEarningsChanged)
    Q_PROPERTY(QString earningsAccount MEMBER m_earningsAccount NOTIFY earningsAccountChanged)
    Q_PROPERTY(vxr::SandboxListModel* sandboxModel READ sandboxModel CONSTANT)

public:
    using QObject::QObject;

    bool m_serviceRunning{false};
    QUrl m_workerURL;
    QString m_throttleNotice;
    bool m_evaluatorsRunning{false};
    bool m_isStopping{false};
    bool m_idleRestrictionEnabled{true};
    bool m_manualOverride{false};
    double m_totalEarnings{0.0};
    QString m_earningsAccount;
    vxr::SandboxListModel m_sandboxModel;

    vxr::SandboxListModel* sandboxModel() { return &m_sandboxModel; }
    void setSandboxes(const QList<vxr::SandboxProgress>& rows) { m_sandboxModel.setRows(rows); }

    int toggleCount = 0;
    int shutdownCount = 0;
    // Like the real controller as far as the label goes: the override on starts
    // compute, off stops it.
    bool toggleStartsAndStops = false;

    Q_INVOKABLE void toggleCompute() {
        ++toggleCount;
        setProperty("manualOverride", !m_manualOverride);
        if (toggleStartsAndStops)
            setProperty("evaluatorsRunning", m_manualOverride);
    }
    Q_INVOKABLE void shutdownForQuit() { ++shutdownCount; }

    static vxr::SandboxProgress sandbox(const QString& id, qint64 done, qint64 fetched) {
        return {id, id.left(10), done, fetched,
                fetched > 0 ? 100.0 * double(done) / double(fetched) : 0.0};
    }

signals:
    void serviceRunningChanged();
    void workerURLChanged();
    void throttleNoticeChanged();
    void evaluatorsRunningChanged();
    void isStoppingChanged();
    void idleRestrictionEnabledChanged();
    void manualOverrideChanged();
    void totalEarningsChanged();
    void earningsAccountChanged();
};
