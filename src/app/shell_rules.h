#pragma once

#include "worker_interface/sandbox_progress.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The six tabs, in tab-bar order.
enum class NavTab { home, settings, metrics, jobs, logs, about };
inline constexpr int navTabCount = 6;

[[nodiscard]] QString navTabTitle(NavTab tab);
// The tab's line icon on the 24 × 24 grid of IconShape.
[[nodiscard]] QString navTabIconPath(NavTab tab);

// Label of the home screen's start/stop button; the first rule that applies wins.
[[nodiscard]] QString crosshairLabel(bool isStopping, bool manualOverride,
                                     bool idleRestrictionEnabled, bool evaluatorsRunning);

// What decides the tray's words and the line under the Start/Stop button.
struct ComputeState {
    bool isStopping = false;
    bool manualOverride = false;
    bool idleRestrictionEnabled = false;
    bool evaluatorsRunning = false;
    bool serviceRunning = false;
    bool pausedOnBattery = false;
    double idleThresholdMinutes = 5;
    int sandboxes = 0;
};
// The tray menu's first item: what a press does ("Start computing", "Stop computing",
// "Resume automatic start", "Stopping…").
[[nodiscard]] QString trayActionLabel(const ComputeState& state);
// The state in a few words, for the tray's tooltip.
[[nodiscard]] QString computeStatusText(const ComputeState& state);
// What automatic start waits for: "Waiting for idle: starts after 5 min away" or
// "Paused: on battery".
[[nodiscard]] QString autoStartWaitText(bool pausedOnBattery, double idleThresholdMinutes);
// A frameless popup can be placed beside the tray and raised only on X11; elsewhere
// (Wayland) the tray opens the ordinary window.
[[nodiscard]] bool trayPanelUsable(const QString& platformName);

// Earnings figure, "%.3f".
[[nodiscard]] QString earningsText(double totalEarnings);
// The account as the earnings line shows it: 11 or more characters are cut to 10
// plus "…".
[[nodiscard]] QString accountText(const QString& account);

// The Logs tab needs a page to show.
[[nodiscard]] bool logsAvailable(const QUrl& workerURL);
// The tab to show after workerURL changed: losing the URL while on Logs goes Home.
[[nodiscard]] NavTab tabAfterWorkerURLChange(NavTab current, const QUrl& workerURL);

// The same rules for QML, which only shows them. QML holds a tab as the NavTab's
// number: it cannot name an enum's lower-case values.
class ShellRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString portalHost READ portalHost CONSTANT)
    Q_PROPERTY(QString portalHintHtml READ portalHintHtml CONSTANT)
    Q_PROPERTY(int homeTab READ homeTab CONSTANT)
    Q_PROPERTY(int tabCount READ tabCount CONSTANT)

public:
    using QObject::QObject;

    [[nodiscard]] static int homeTab() { return int(NavTab::home); }
    [[nodiscard]] static int tabCount() { return navTabCount; }
    Q_INVOKABLE static QString tabTitle(int tab);
    Q_INVOKABLE static QString tabIconPath(int tab);
    // Logs needs a page to show; every other tab can always be chosen.
    Q_INVOKABLE static bool tabEnabled(int tab, bool logsAvailable);
    Q_INVOKABLE static QString crosshairLabel(bool isStopping, bool manualOverride,
                                              bool idleRestrictionEnabled, bool evaluatorsRunning);
    Q_INVOKABLE static bool crosshairEnabled(bool isStopping, bool workerProgramsFound) {
        return !isStopping && workerProgramsFound;
    }
    Q_INVOKABLE static QString programsMissingText(const QString& binDir) {
        return QStringLiteral("Worker programs not found in ") + binDir;
    }
    // The button reads "Auto": compute waits for the idle rule.
    Q_INVOKABLE static bool autoStartWaiting(bool isStopping, bool manualOverride,
                                             bool idleRestrictionEnabled, bool evaluatorsRunning) {
        return !isStopping && !manualOverride && idleRestrictionEnabled && !evaluatorsRunning;
    }
    Q_INVOKABLE static QString autoStartWaitText(bool pausedOnBattery, double idleThresholdMinutes);
    Q_INVOKABLE static QString earningsText(double totalEarnings);
    Q_INVOKABLE static QString accountText(const QString& account);
    Q_INVOKABLE static bool hasAccount(const QString& account) { return !account.isEmpty(); }
    // The earnings line as rich text: figure, "⊇ deposited to", account, upper-cased.
    Q_INVOKABLE static QString depositLineHtml(double totalEarnings, const QString& account);
    Q_INVOKABLE static QString slicesText(qint64 slicesDone, qint64 slicesFetched);
    Q_INVOKABLE static QString percentText(double percent);
    Q_INVOKABLE static bool logsAvailable(const QUrl& workerURL);
    Q_INVOKABLE static int tabAfterWorkerURLChange(int current, const QUrl& workerURL);

    [[nodiscard]] static QString portalHost();
    // "Manage jobs, workers, and credits at <host> ↗" with the host linking to the
    // portal, upper-cased like the rest of the earnings line.
    [[nodiscard]] static QString portalHintHtml();
};

} // namespace vxr
