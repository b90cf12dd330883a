#include "app/shell_rules.h"

#include "app/build_info.h"
#include "app/vxr_theme.h"
#include "core/number_text.h"

#include <QVariant>

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
