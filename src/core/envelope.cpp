#include "core/envelope.h"

#include "core/json_read.h"

#include <QJsonDocument>
#include <QStringDecoder>

namespace vxr {

namespace {
bool isUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}
} // namespace

std::optional<QJsonObject> parseEnvelope(const QByteArray& body, EnvelopeSemicolon semicolon) {
    if (!isUtf8(body))
        return std::nullopt;
    // "=" is ASCII, so its first byte position is its first character position.
    const qsizetype equals = body.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    QByteArray json = body.mid(equals + 1);
    if (semicolon == EnvelopeSemicolon::dropOne && json.endsWith(';'))
        json.chop(1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<QJsonObject> parseTaskInfoRoot(const QByteArray& body) {
    return parseEnvelope(body, EnvelopeSemicolon::dropOne);
}

std::optional<RunInfo> parseRunInfo(const QByteArray& body) {
    const std::optional<QJsonObject> root = parseEnvelope(body, EnvelopeSemicolon::keep);
    if (!root)
        return std::nullopt;
    return RunInfo{json::number(*root, QLatin1StringView("totalEarnings")).value_or(0.0),
                   json::string(*root, QLatin1StringView("earningsAccount")).value_or(QString())};
}

} // namespace vxr
