#include "uninstaller/uninstaller.h"

#include "uninstaller/install_removal.h"
#include "uninstaller/installation.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

namespace {

constexpr int busCallTimeoutMs = 2000;
constexpr qint64 maxSettingsStoreSize = 16 << 20;

} // namespace

bool clearSettingsStore(const QString& path) {
    QFile file(path);
    if (file.size() > maxSettingsStoreSize || !file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    file.close();
    if (!doc.isObject() || doc.object().isEmpty())
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray empty = QJsonDocument(QJsonObject{}).toJson(QJsonDocument::Compact);
    if (out.write(empty) != empty.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool deleteProcessLog(const QString& privateTempDir) {
    // No trailing slash: it would make O_NOFOLLOW follow a planted symlink.
    const QByteArray dirPath = QFile::encodeName(QDir::cleanPath(privateTempDir));
    const int dirFd = ::open(dirPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    struct stat st {};
    bool gone = false;
    if (::fstat(dirFd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) {
        // The log, and the previous one it was rotated into when it grew too large.
        const QByteArray previous = QByteArray(processLogName) + ".1";
        for (const char* name : {processLogName, previous.constData()}) {
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            ::unlinkat(dirFd, name, 0);
            // Only a log that is really gone counts as removed.
            gone =
                (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) || gone;
        }
    }
    ::close(dirFd);
    return gone;
}

Uninstaller::Uninstaller(UninstallerEnvironment env, QObject* parent)
    : QObject(parent)
    , m_env(std::move(env)) {}

void Uninstaller::performUninstall() {
    if (m_started)
        return;
    m_started = true;
    quitRunningApp();
}

void Uninstaller::quitRunningApp() {
    if (!m_env.bus.isConnected()) {
        QTimer::singleShot(0, this, &Uninstaller::removeAll);
        return;
    }
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << QString::fromLatin1(bundleID);
    auto* watcher =
        new QDBusPendingCallWatcher(m_env.bus.asyncCall(hasOwner, busCallTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<bool> running = *call;
            if (!running.isValid() || !running.value()) {
                removeAll();
                return;
            }
            // The polite request: the application runs its own quit path. Whether it
            // really ends is not checked; its files go either way.
            QDBusMessage quit = QDBusMessage::createMethodCall(
                QString::fromLatin1(bundleID), QString::fromLatin1(appObjectPath),
                QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
            quit << QStringLiteral("quit") << QVariant::fromValue(QVariantList{})
                 << QVariant::fromValue(QVariantMap{});
            m_env.bus.send(quit);
            QTimer::singleShot(m_env.quitWait, this, &Uninstaller::removeAll);
        });
}

void Uninstaller::removeAll() {
    UninstallResult result;

    if (const std::optional<Installation> install = findInstallation(m_env)) {
        const InstallRemoval removal = removeInstallation(*install, m_env);
        if (removal.appRemoved) {
            result.removed.append(QStringLiteral("the app"));
            if (!install->desktopEntry.isEmpty() && existsOrIsLink(install->desktopEntry))
                (void)trash(install->desktopEntry);
        }
        result.notes.append(removal.notes);
    }

    const QString config = m_env.workerConfigurationPath();
    if (existsOrIsLink(config) && trash(config))
        result.removed.append(QStringLiteral("saved worker configuration"));

    // Left behind, the desktop would try to start a removed program at every login.
    const QString autostart = m_env.autostartEntryPath();
    if (existsOrIsLink(autostart) && QFile::remove(autostart))
        result.removed.append(QStringLiteral("start at login"));

    if (clearSettingsStore(m_env.settingsStorePath()))
        result.removed.append(QStringLiteral("saved preferences"));

    // Also from the directories the app fell back to when its usual one was taken.
    bool logDeleted = false;
    for (const QString& dir : m_env.privateTempDirs())
        logDeleted = deleteProcessLog(dir) || logDeleted;
    if (logDeleted)
        result.removed.append(QStringLiteral("log file"));

    emit finished(result);
}

} // namespace vxr
