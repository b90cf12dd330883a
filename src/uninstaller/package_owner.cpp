#include "uninstaller/package_owner.h"

#include <QProcess>
#include <QStringList>

namespace vxr {

namespace {

constexpr int dpkgTimeoutMs = 5000;

} // namespace

QString packagesOwningInOutput(const QByteArray& dpkgOutput, const QString& path) {
    QStringList owners;
    for (const QByteArray& rawLine : dpkgOutput.split('\n')) {
        const QString line = QString::fromUtf8(rawLine);
        if (line.startsWith(QLatin1String("diversion ")))
            continue;
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        if (colon <= 0 || line.mid(colon + 2) != path)
            continue;
        for (const QString& name : line.left(colon).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString package = name.trimmed();
            if (!package.isEmpty() && !owners.contains(package))
                owners.append(package);
        }
    }
    return owners.join(QLatin1Char(' '));
}

QString packageOwning(const QString& path) {
    QProcess dpkg;
    dpkg.setProcessChannelMode(QProcess::SeparateChannels);
    dpkg.setStandardInputFile(QProcess::nullDevice());
    dpkg.start(QStringLiteral("dpkg-query"), {QStringLiteral("-S"), path});
    if (!dpkg.waitForStarted(dpkgTimeoutMs))
        return {};
    if (!dpkg.waitForFinished(dpkgTimeoutMs)) {
        dpkg.kill();
        dpkg.waitForFinished(dpkgTimeoutMs);
        return {};
    }
    if (dpkg.exitStatus() != QProcess::NormalExit || dpkg.exitCode() != 0)
        return {};
    return packagesOwningInOutput(dpkg.readAllStandardOutput(), path);
}

} // namespace vxr
