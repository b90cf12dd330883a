#include "app/shell_rules.h"

#include "app/build_info.h"
#include "app/vxr_theme.h"
#include "core/number_text.h"

#include <QVariant>

#include <algorithm>

namespace vxr {

QString navTabTitle(NavTab tab) {
    switch (tab) {
    case NavTab::home:
        return QStringLiteral("Home");
    case NavTab::settings:
        return QStringLiteral("Settings");
    case NavTab::metrics:
        return QStringLiteral("Metrics");
    case NavTab::jobs:
        return QStringLiteral("Jobs");
    case NavTab::logs:
        return QStringLiteral("Logs");
    case NavTab::about:
        return QStringLiteral("About");
    }
    return {};
}

QString navTabIconPath(NavTab tab) {
    switch (tab) {
    case NavTab::home:
        return QStringLiteral("M3 11 L12 3.5 L21 11 M5.5 9 V20.5 H10 V15 H14 V20.5 H18.5 V9");
    case NavTab::settings:
        return QStringLiteral(
            "M12 8.8 A3.2 3.2 0 1 0 12 15.2 A3.2 3.2 0 1 0 12 8.8 Z M12 5.5 A6.5 6.5 0 1 0 12 "
            "18.5 A6.5 6.5 0 1 0 12 5.5 Z M12 2 V5.5 M12 18.5 V22 M2 12 H5.5 M18.5 12 H22 M4.9 "
            "4.9 L7.4 7.4 M16.6 16.6 L19.1 19.1 M4.9 19.1 L7.4 16.6 M16.6 7.4 L19.1 4.9");
    case NavTab::metrics:
        return QStringLiteral("M3.5 3 V20.5 H21 M6.5 16 L10.5 10.5 L14 13.5 L20 5.5");
    case NavTab::jobs:
        return QStringLiteral("M3 4.5 H21 V19.5 H3 Z M6.5 9 H8 M10.5 9 H17.5 M6.5 12 H8 M10.5 12 "
                              "H17.5 M6.5 15 H8 M10.5 15 H17.5");
    case NavTab::logs:
        return QStringLiteral("M3 4.5 H21 V19.5 H3 Z M6.5 9 L9.5 12 L6.5 15 M11.5 15 H17");
    case NavTab::about:
        return QStringLiteral(
            "M12 2.5 A9.5 9.5 0 1 0 12 21.5 A9.5 9.5 0 1 0 12 2.5 Z M12 10.5 V17 M12 7 V7.6");
    }
    return {};
}

QString crosshairLabel(bool isStopping, bool manualOverride, bool idleRestrictionEnabled,
                       bool evaluatorsRunning) {
    if (isStopping)
        return QStringLiteral("Stopping…");
    if (manualOverride)
        return QStringLiteral("Stop");
    if (!idleRestrictionEnabled)
        return QStringLiteral("Start");
    return evaluatorsRunning ? QStringLiteral("Running") : QStringLiteral("Auto");
}

QString trayActionLabel(const ComputeState& state) {
    if (state.isStopping)
        return QStringLiteral("Stopping…");
    if (!state.manualOverride)
        return QStringLiteral("Start computing");
    // A press turns the override off: the idle rule takes over again where it is on.
    return state.idleRestrictionEnabled ? QStringLiteral("Resume automatic start")
                                        : QStringLiteral("Stop computing");
}

QString autoStartWaitText(bool pausedOnBattery, double idleThresholdMinutes) {
    if (pausedOnBattery)
        return QStringLiteral("Paused: on battery");
    return QStringLiteral("Waiting for idle: starts after %1 min away")
        .arg(fixedDecimalText(std::max(0.0, idleThresholdMinutes), 0));
}

QString computeStatusText(const ComputeState& state) {
    if (state.isStopping)
        return QStringLiteral("Stopping…");
    if (state.evaluatorsRunning) {
        if (state.sandboxes <= 0)
            return QStringLiteral("Computing");
        return QStringLiteral("Computing: %1 sandbox%2")
            .arg(state.sandboxes)
            .arg(state.sandboxes == 1 ? QString() : QStringLiteral("es"));
    }
    if (!state.serviceRunning)
        return QStringLiteral("Worker service not running");
    if (state.manualOverride)
        return QStringLiteral("Starting…");
    if (state.idleRestrictionEnabled && !state.manualOverride)
        return autoStartWaitText(state.pausedOnBattery, state.idleThresholdMinutes);
    return QStringLiteral("Not computing");
}

bool trayPanelUsable(const QString& platformName) {
    return platformName == QLatin1String("xcb") || platformName == QLatin1String("offscreen");
}

QString earningsText(double totalEarnings) {
    return fixedDecimalText(totalEarnings, 3);
}

QString accountText(const QString& account) {
    if (account.size() >= 11)
        return account.left(10) + QStringLiteral("…");
    return account;
}

bool logsAvailable(const QUrl& workerURL) {
    return !workerURL.isEmpty();
}

NavTab tabAfterWorkerURLChange(NavTab current, const QUrl& workerURL) {
    if (current == NavTab::logs && !logsAvailable(workerURL))
        return NavTab::home;
    return current;
}

namespace {

NavTab tabFromInt(int tab) {
    if (tab < 0 || tab >= navTabCount)
        return NavTab::home;
    return static_cast<NavTab>(tab);
}

} // namespace

QString ShellRules::tabTitle(int tab) {
    return navTabTitle(tabFromInt(tab));
}

QString ShellRules::autoStartWaitText(bool pausedOnBattery, double idleThresholdMinutes) {
    return vxr::autoStartWaitText(pausedOnBattery, idleThresholdMinutes);
}

QString ShellRules::tabIconPath(int tab) {
    return navTabIconPath(tabFromInt(tab));
}

bool ShellRules::tabEnabled(int tab, bool logsAvailable) {
    return tabFromInt(tab) != NavTab::logs || logsAvailable;
}

QString ShellRules::crosshairLabel(bool isStopping, bool manualOverride,
                                   bool idleRestrictionEnabled, bool evaluatorsRunning) {
    return vxr::crosshairLabel(isStopping, manualOverride, idleRestrictionEnabled,
                               evaluatorsRunning);
}

QString ShellRules::earningsText(double totalEarnings) {
    return vxr::earningsText(totalEarnings);
}
QString ShellRules::accountText(const QString& account) {
    return vxr::accountText(account);
}
QString ShellRules::slicesText(qint64 done, qint64 fetched) {
    return vxr::slicesText(done, fetched);
}
QString ShellRules::percentText(double percent) {
    return vxr::percentText(percent);
}
bool ShellRules::logsAvailable(const QUrl& workerURL) {
    return vxr::logsAvailable(workerURL);
}

int ShellRules::tabAfterWorkerURLChange(int current, const QUrl& workerURL) {
    return int(vxr::tabAfterWorkerURLChange(tabFromInt(current), workerURL));
}

QString ShellRules::depositLineHtml(double totalEarnings, const QString& account) {
    const auto span = [](const QColor& colour, const QString& text) {
        return QStringLiteral("<span style=\"color:%1\">%2</span>")
            .arg(colour.name(), text.toUpper().toHtmlEscaped());
    };
    return span(VXRTheme::value(), vxr::earningsText(totalEarnings)) + QStringLiteral(" ") +
           span(VXRTheme::textDim(), QStringLiteral("⊇ deposited to")) + QStringLiteral(" ") +
           span(VXRTheme::accentLight(), vxr::accountText(account));
}

QString ShellRules::portalHost() {
    return productConfig().portalHost;
}

QString ShellRules::portalHintHtml() {
    const QString host = portalHost();
    return QStringLiteral("<span style=\"color:%1\">MANAGE JOBS, WORKERS, AND CREDITS AT "
                          "<a href=\"https://%2\"><span style=\"color:%1\">%3</span></a> ↗</span>")
        .arg(VXRTheme::textDim().name(), host.toHtmlEscaped(), host.toUpper().toHtmlEscaped());
}

} // namespace vxr
