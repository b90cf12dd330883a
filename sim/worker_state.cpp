#include "worker_state.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

namespace vxr::sim {

namespace {

QString filePath(const char* name) {
    return localStoragePath() + QLatin1Char('/') + QLatin1String(name);
}

QJsonObject readObject(const char* name) {
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool writeObject(const char* name, const QJsonObject& object) {
    if (!QDir().mkpath(localStoragePath()))
        return false;
    QSaveFile file(filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return file.commit();
}

QString randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(raw.data()), bytes / 4);
    return QString::fromLatin1(raw.toHex());
}

QString createIdentity() {
    const QString id = randomHex(16);
    const QJsonObject identity{
        {QStringLiteral("workerId"), id},
        {QStringLiteral("created"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}};
    return writeObject("identity.json", identity) ? id : QString();
}

} // namespace

QString localStoragePath() {
    return QDir::homePath() + QLatin1String("/.vxr/localStorage");
}

QString workerId() {
    const QString id = readObject("identity.json").value(QLatin1String("workerId")).toString();
    return id.isEmpty() ? createIdentity() : id;
}

QString resetIdentity() {
    QFile::remove(filePath("registration.json"));
    return createIdentity();
}

std::optional<QString> registeredOwner() {
    const QJsonObject registration = readObject("registration.json");
    // A registration belongs to the identity it was made for. Asking creates none: a
    // question must leave ~/.vxr as it found it.
    const QString id = readObject("identity.json").value(QLatin1String("workerId")).toString();
    if (id.isEmpty() || registration.value(QLatin1String("workerId")).toString() != id)
        return std::nullopt;
    const QString owner = registration.value(QLatin1String("owner")).toString();
    if (owner.isEmpty())
        return std::nullopt;
    return owner;
}

bool saveOwner(const QString& owner) {
    return writeObject(
        "registration.json",
        {{QStringLiteral("owner"), owner},
         {QStringLiteral("workerId"), workerId()},
         {QStringLiteral("registeredAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
}

bool isWellFormedKey(const QString& key) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{32,64}$"));
    static const QRegularExpression uuid(QStringLiteral(
        "^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    return hex.match(key).hasMatch() || uuid.match(key).hasMatch();
}

QString ownerForKey(const QString& key) {
    const QByteArray digest =
        QCryptographicHash::hash(key.toLower().toUtf8(), QCryptographicHash::Sha1);
    return QLatin1String("0x") + QString::fromLatin1(digest.toHex());
}

double savedEarnings() {
    return readObject("earnings.json").value(QLatin1String("totalEarnings")).toDouble();
}

void saveEarnings(double total) {
    (void)writeObject("earnings.json", {{QStringLiteral("totalEarnings"), total}});
}

} // namespace vxr::sim
